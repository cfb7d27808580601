#include "host/kept_file.h"

#include "host/log.h"
#include "platform/files.h"

namespace postrix {

std::optional<KeptFileProblem> readKeptFile(std::u16string_view path, size_t maxBytes, std::string& bytes) {
    switch (platform::readWholeFile(path, maxBytes, bytes)) {
        case platform::WholeFile::read:
            return std::nullopt;
        case platform::WholeFile::missing:
            return KeptFileProblem{" does not exist yet", kLogNotice};
        case platform::WholeFile::unreadable:
            return KeptFileProblem{" cannot be read", kLogFailure};
        case platform::WholeFile::tooLarge:
            break;
    }
    return KeptFileProblem{" is not used, it is too large", kLogFailure};
}

}  // namespace postrix
