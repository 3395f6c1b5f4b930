#pragma once
// The identities of many files in about eight bytes each: each device's inode numbers, sorted once
// all are in. A run over a hundred thousand files keeps one of these where a tree of nodes would
// cost five times as much.
#include "app/headless/file_identity.h"

#include <deque>
#include <vector>

namespace cantrix {

class FileIdentitySet {
public:
    // Only before Seal.
    void Insert(const FileIdentity& file);
    // Sorts what was inserted; Contains answers from then on.
    void Seal();
    bool Contains(const FileIdentity& file) const;

private:
    struct Device {
        dev_t device;
        // A deque grows without copying, so the peak stays at the size of what it holds.
        std::deque<ino_t> inodes;
    };
    Device& DeviceOf(dev_t device);

    std::vector<Device> devices;
};

} // namespace cantrix
