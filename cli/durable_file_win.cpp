#include "cli/durable_file.h"

#include "pw/resources.h"
#include "pw/text.h"

#include <windows.h>

#include <algorithm>
#include <optional>

namespace pipeway {

bool WriteDurably(const std::string& path, const std::string& content) {
    const std::optional<std::wstring> wide = pw::Widen(path, CP_ACP);
    if (!wide) {
        return false;
    }
    pw::UniqueHandle file(CreateFileW(wide->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr)) {
            return false;
        }
        done += written;
    }
    return FlushFileBuffers(file.get()) != FALSE;
}

bool MoveOver(const std::string& from, const std::string& to) {
    const std::optional<std::wstring> source = pw::Widen(from, CP_ACP);
    const std::optional<std::wstring> target = pw::Widen(to, CP_ACP);
    return source && target &&
           MoveFileExW(source->c_str(), target->c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace pipeway
