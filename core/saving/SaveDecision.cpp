#include "SaveDecision.h"

#include "Texts.h"

namespace rowtick {

SaveDecision SaveDecision::From(const Found& found)
{
    // The kernel's own rule for links in shared folders such as /tmp: another
    // user's link there may lead anywhere that user chose.
    if (found.plantedLink)
        return {Way::Refuse, kPlantedLink};
    if (found.swapped)
        return {Way::Refuse, kSwapped};
    if (!found.exists && !found.link)
        return {Way::New, {}};
    if (found.folder)
        return {Way::Refuse, kFolderOfThatName};
    if (!found.regular)
        return {Way::Refuse, kNotRegular};
    // Root could write it, a plain overwrite by anyone else could not.
    if (found.readOnly)
        return {Way::Refuse, kReadOnlyFile};
    // Every name of the file, and the file a link leads to, sees the new rows.
    if (found.link || found.names > 1)
        return InsteadOfReplacing(found);
    return {Way::Replace, {}};
}

SaveDecision SaveDecision::InsteadOfReplacing(const Found& found)
{
    if (!found.readable && !found.empty)
        return {Way::Refuse, kOldBytesUnreadable};
    return {Way::InPlace, {}};
}

}  // namespace rowtick
