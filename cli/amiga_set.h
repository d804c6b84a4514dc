// `pictra set` on one file: the Amiga attributes of an icon edited in place.
// The icon stays the kind of file it was (own_format.h): the attribute parts
// of its bytes are rewritten (amiga_patch.h, png_icon_patch.h), or a file
// that cannot be patched is saved anew by the module. Either goes to a
// temporary file beside it, which is read back before it replaces the icon:
// when it would lose or change anything the edit did not name, the icon
// stays as it was.
#pragma once

#include <string>
#include <vector>

#include "amiga_edit.h"
#include "session.h"

namespace pictra::cli {

struct SetReport {
    std::string saver;                 // the format the icon is kept in
    std::vector<std::string> changes;  // describeChanges() of the edit; empty: nothing to do
    bool patched = false;              // only the attribute parts were rewritten
};

// Throws NotAnIconError naming `path` unless it is an Amiga or PNG icon (a
// folder walk skips other files).
void checkAmigaIcon(const std::string& path);

// Applies `edit` to the icon at `path` (a symbolic link is followed and the
// file it names is replaced). With `dryRun` the save goes to the system's
// temporary folder and is checked there, and the icon is not touched.
// Throws FileError naming the file when it is not an Amiga icon, the edit
// does not fit it, or the save or its check fails.
SetReport setIconAttributes(const Session& session, const std::string& path, const AttributeEdit& edit,
                            bool dryRun);

}  // namespace pictra::cli
