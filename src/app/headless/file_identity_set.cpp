#include "app/headless/file_identity_set.h"

#include <algorithm>

namespace cantrix {

FileIdentitySet::Device& FileIdentitySet::DeviceOf(dev_t device)
{
    // A run's files lie on a handful of devices, mostly one after another.
    for (auto it = devices.rbegin(); it != devices.rend(); ++it) {
        if (it->device == device)
            return *it;
    }
    return devices.emplace_back(Device{device, {}});
}

void FileIdentitySet::Insert(const FileIdentity& file)
{
    DeviceOf(file.device).inodes.push_back(file.inode);
}

void FileIdentitySet::Seal()
{
    for (Device& device : devices)
        std::sort(device.inodes.begin(), device.inodes.end());
}

bool FileIdentitySet::Contains(const FileIdentity& file) const
{
    return std::any_of(devices.begin(), devices.end(), [&file](const Device& device) {
        return device.device == file.device &&
               std::binary_search(device.inodes.begin(), device.inodes.end(), file.inode);
    });
}

} // namespace cantrix
