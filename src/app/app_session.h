#pragma once
// AppSession: one windowed run of the program, from the start-up check to the write-back of the
// options. The program builds it once; tests build it with their own engine, presenter and
// settings.
#include "platform/version_query.h"

#include <string>
#include <vector>

class QSettings;

namespace cantrix {

class ConverterEngine;
class MessagePresenter;

class AppSession {
public:
    // All three must outlive the session. The engine's worker is ended before Run returns.
    AppSession(ConverterEngine& engine, MessagePresenter& presenter, QSettings& settings);

    // Refuses a platform that is too old (message 111, nothing read or written); otherwise reads
    // the options, runs the main window with the first argument after the program's name
    // as its pending input, and writes the options back. Returns the exit status.
    int Run(const PlatformVersion& version, const std::vector<std::string>& arguments);

private:
    ConverterEngine& engine;
    MessagePresenter& presenter;
    QSettings& settings;
};

} // namespace cantrix
