#pragma once

// Accelerator tables as data: each entry binds a key sequence to a command id.

#include <QKeySequence>
#include <vector>

namespace plyfold {

namespace ids {
inline constexpr int IDR_MAIN_ACCELERATORS = 128; // the main window's table
} // namespace ids

struct AcceleratorDef {
    int commandId = 0;
    QKeySequence keys;
};

// Entries of accelerator table `tableId` in table order; empty for an unknown id.
std::vector<AcceleratorDef> AcceleratorTable(int tableId);

} // namespace plyfold
