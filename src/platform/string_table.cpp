#include "platform/string_table.h"

namespace cantrix {

namespace string_table_data {
extern const StringTableEntry kEntries[];
extern const std::size_t kEntryCount;
} // namespace string_table_data

std::string LoadString(std::uint32_t id)
{
    for (std::size_t i = 0; i < string_table_data::kEntryCount; ++i) {
        if (string_table_data::kEntries[i].id == id)
            return string_table_data::kEntries[i].text;
    }
    return {};
}

} // namespace cantrix
