// Saving the result file on Windows.
#include "ResultWriter.h"

#include <fstream>
#include <system_error>

#include "SystemError.h"
#include "Texts.h"

namespace rowtick {

namespace {

WriteOutcome Failed(std::string_view reason)
{
    return {false, std::string(reason)};
}

}  // namespace

WriteOutcome WriteResultFile(const std::filesystem::path& path, const ResultList& results)
{
    if (path.empty())
        return Failed(kNoSavePath);
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
        return Failed(kFolderOfThatName);
    if (std::filesystem::exists(status)
        && (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
        return Failed(kReadOnlyFile);

    std::filesystem::path temp = path;
    temp += L".rowtick-tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return Failed(kCannotCreate);
        const std::string bytes = ResultFileBytes(results);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(temp, error);
            return Failed(kWriteFailed);
        }
    }
    std::filesystem::rename(temp, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return Failed(SystemErrorReason(error.value()));
    }
    return {true, {}};
}

}  // namespace rowtick
