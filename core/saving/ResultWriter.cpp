#include "ResultWriter.h"

namespace rowtick {

std::string ResultFileBytes(const ResultList& results)
{
    std::string bytes;
    for (std::int64_t i = 0; i < results.rowCount(); ++i)
        AppendResultLine(bytes, results.row(i));
    return bytes;
}

void AppendResultLine(std::string& bytes, const ResultRow& row)
{
    bytes += row.bytes();
    bytes += "\r\n";
}

}  // namespace rowtick
