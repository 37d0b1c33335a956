// Names of the files a save makes besides the chosen one: the new file before
// it takes the chosen name, and the copy of the old bytes kept while a file is
// rewritten in place. They carry the chosen name, the process id and the
// computer's name, so that a later save can tell those whose process is gone:
//   .<name>.rowtick-<process id>-<computer>-<letters>.new   (or .old)
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rowtick {

class LeftoverName {
public:
    enum class Kind { NewFile, OldCopy };

    Kind kind = Kind::NewFile;
    std::string chosen;  // the chosen name, cut to leave room for the rest
    long process = 0;
    std::string computer;

    // `letters` make the name unique within one process.
    std::string make(std::string_view letters) const;
    // Six random letters or digits for `make`, in one case only: Windows
    // does not tell the cases apart.
    static std::string Letters();
    // The parts of a name `make` gave; nothing for any other name.
    static std::optional<LeftoverName> Parse(std::string_view name);
    // A name as it is written into a leftover's name (short enough, and a
    // computer's name in letters, digits and "_" only).
    static std::string Chosen(std::string_view name);
    static std::string Computer(std::string_view name);
};

}  // namespace rowtick
