#pragma once

// File-type filters of the file dialogs. The string table keeps them in the classic form
// "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*||": pairs of a description and its patterns
// (separated by ";"), every field ended by "|".

#include <QString>
#include <QStringList>

namespace plyfold {

// The filters as the file dialog takes them, one "Description (patterns)" per pair, in order.
// The patterns come from the pattern field (the description's own parenthesis is replaced), with
// "*.*" written "*" because here it means every file, also one without a dot in its name.
// Incomplete trailing pairs and empty fields are skipped.
QStringList NameFiltersFromResFilter(const QString& filter);

} // namespace plyfold
