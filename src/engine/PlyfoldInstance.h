#pragma once

// The open document that the document list creates for every added file. Before the file is
// accepted it makes sure that the merge will later be allowed to copy its pages: a file that opens
// without a password but forbids copying is accepted only once the user has typed its owner
// password.

#include "engine/PDFInstance.h"

#include <QString>

namespace plyfold {

class PlyfoldInstance : public PDFInstance {
public:
    using PDFInstance::PDFInstance;

    // Opens the file through the viewer engine, asking for the open password (prompt 205 with the
    // file name) when the file needs one. A file that opened without a password is then probed in
    // the splicing library: one that library cannot read is refused without a prompt; one that is
    // encrypted and forbids copying asks for the copying password (prompt 212 with the file name
    // only), which is stored as `password` and must then load the document in one attempt and
    // open the file for splicing (a wrong owner password is refused here, not at the save).
    // True when the document may be added. Prompts belong over the window in front.
    bool Open(const QString& path);

private:
    using PDFInstance::Open; // the two-argument open is the base step of the one above
};

} // namespace plyfold
