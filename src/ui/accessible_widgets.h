#pragma once
// How the program's own widgets reach the accessibility bus (what screen readers read), where
// Qt's stock descriptions fall short:
// - a PathLabel is static text named by its whole path, however much of it the line shows;
// - every progress bar reports its value as a percentage, whatever unit it counts in;
// - the help window lists its page's links after the page, each with the action to follow it.
namespace cantrix {

// Makes the descriptions above Qt's for the rest of the process. Call it on the user-interface
// thread before the widgets are first described; calling it again does nothing.
void InstallAccessibleWidgets();

} // namespace cantrix
