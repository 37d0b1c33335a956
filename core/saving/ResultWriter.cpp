#include "ResultWriter.h"

namespace rowtick {

std::string ResultFileBytes(const ResultList& results)
{
    std::string bytes;
    for (std::int64_t i = 0; i < results.rowCount(); ++i) {
        bytes += results.row(i).bytes();
        bytes += "\r\n";
    }
    return bytes;
}

}  // namespace rowtick
