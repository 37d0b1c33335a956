// How a save treats the name the user chose, decided from what was opened
// there: one table for every platform.
#pragma once

#include <string_view>

namespace rowtick {

class SaveDecision {
public:
    // What the save found at the chosen name, from the open file itself.
    struct Found {
        bool exists = false;       // a file is there (a dangling link: not until it is created)
        bool link = false;         // the name is a symbolic link, followed to its file
        bool plantedLink = false;  // another user's link in a sticky folder anyone may write to
        bool swapped = false;      // what was opened is not what was looked at
        bool folder = false;
        bool regular = true;
        bool readOnly = false;     // no write permission for anyone
        bool readable = true;      // its old bytes can be read (to keep a copy of them)
        bool empty = true;
        unsigned names = 1;        // hard links
    };
    enum class Way {
        Refuse,   // nothing is written; `reason` says why
        New,      // a new file, complete before it takes the name
        Replace,  // a new file that carries everything the old one had, put in its place
        InPlace,  // the file itself rewritten, a copy of its old bytes on disk until done
    };

    Way way = Way::Refuse;
    std::string_view reason;

    static SaveDecision From(const Found& found);
    // A replacement whose new file cannot be made (a folder that takes no new
    // file) or cannot carry everything the old file had (owner, group, mode,
    // ACL, attributes, flags) becomes a rewrite in place.
    static SaveDecision InsteadOfReplacing(const Found& found);
};

}  // namespace rowtick
