// Saves a large result file again and again, for killing at random moments
// (see measure-kills.sh), and checks what such a kill left.
//
//   rowtick-save-kills loop  FILE ROWS   saves variant A, B, A, ... until killed
//   rowtick-save-kills loop-once FILE ROWS   saves variant A once
//   rowtick-save-kills check FILE ROWS   exit 0 when FILE is variant A or B whole
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "saving/ResultWriter.h"

namespace {

rowtick::ResultList Variant(char which, int rows)
{
    rowtick::ResultList results;
    for (int i = 0; i < rows; ++i)
        results.append({"/src/" + std::string(1, which) + "/module" + std::to_string(i) + ".c", std::uint64_t(i), {}});
    return results;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s loop|loop-once|check FILE ROWS\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::filesystem::path file = argv[2];
    const int rows = std::atoi(argv[3]);
    const rowtick::ResultList a = Variant('a', rows);
    const rowtick::ResultList b = Variant('b', rows);
    if (mode == "loop" || mode == "loop-once") {
        for (bool second = false;; second = !second) {
            const rowtick::WriteOutcome outcome = rowtick::WriteResultFile(file, second ? b : a);
            if (!outcome.ok) {
                std::fprintf(stderr, "%s\n", outcome.reason.c_str());
                return 1;
            }
            if (mode == "loop-once")
                return 0;
        }
    }
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    return bytes == rowtick::ResultFileBytes(a) || bytes == rowtick::ResultFileBytes(b) ? 0 : 1;
}
