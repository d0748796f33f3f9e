#include "res/Accelerators.h"

#include "res/CommandIds.h"

namespace plyfold {

std::vector<AcceleratorDef> AcceleratorTable(int tableId) {
    if (tableId != ids::IDR_MAIN_ACCELERATORS) {
        return {};
    }
    const auto key = [](const char* text) {
        return QKeySequence(QString::fromLatin1(text), QKeySequence::PortableText);
    };
    return {
        {ids::ID_ADD_FILE, key("Ctrl+O")},   {ids::ID_ADD_FOLDER, key("Ctrl+F")},
        {ids::ID_EDIT_CLEAR, key("Ctrl+X")}, {ids::ID_FILE_SAVE, key("Ctrl+S")},
        {ids::ID_NEXT_PANE, key("F6")},      {ids::ID_PREV_PANE, key("Shift+F6")},
    };
}

} // namespace plyfold
