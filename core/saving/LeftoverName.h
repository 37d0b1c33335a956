// Names of the files a save makes besides the chosen one: the new file before
// it takes the chosen name, and the copy of the old bytes kept while a file is
// rewritten in place:
//   .<shown>.rowtick-<process>-<started>-<boot>-<letters>-<proof>.new   (or .old)
// <shown> is the chosen name whole or, where it is too long, a part of it and
// the SHA-256 of all of it. <proof> is a hash of the name's parts together
// with the computer's identity, so that a later save can prove a leftover is
// one this program made on this computer; it deletes no other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rowtick {

// Who makes a leftover: the computer (its machine id, and where processes have
// numbers of their own, that), its boot, the process and when it started (0:
// not known). Every part may be empty or 0 where the system does not tell.
struct SaverIdentity {
    std::string machine;
    std::string boot;
    long process = 0;
    std::uint64_t started = 0;
};

class LeftoverName {
public:
    enum class Kind { NewFile, OldCopy };

    Kind kind = Kind::NewFile;
    std::string shown;  // Shown() of the chosen name
    long process = 0;
    std::uint64_t started = 0;
    std::string boot;     // BootTag() of the boot
    std::string letters;  // make the name unique within one process
    std::string proof;

    // The leftover of `kind` a save of `chosen` by `saver` makes.
    static LeftoverName Of(Kind kind, std::string_view chosen, const SaverIdentity& saver);
    std::string name() const;
    // The parts of a name name() gave; nothing for any other name.
    static std::optional<LeftoverName> Parse(std::string_view name);
    // True where this leftover was made on the computer `saver` runs on (its
    // proof holds); and, with `chosen`, by a save of that very name.
    bool madeOn(const SaverIdentity& saver) const;
    bool madeFor(std::string_view chosen, const SaverIdentity& saver) const;
    // True where the leftover's process is proved gone: made on this computer
    // in an earlier boot, or in this boot by a process that `alive` says is no
    // more (it is given the process and its start). False where nothing proves it.
    bool gone(const SaverIdentity& saver, bool (*alive)(long process, std::uint64_t started)) const;

    static std::string Shown(std::string_view chosen);
    static std::string BootTag(std::string_view boot);

private:
    std::string proofFor(const std::string& machine) const;
};

}  // namespace rowtick
