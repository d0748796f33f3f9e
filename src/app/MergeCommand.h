#pragma once

// plyfold-merge: the merge of the window as a command. It opens its inputs as the window opens the
// documents it adds (with the same password questions, through the splicing layer alone), runs the
// same checks and the same writer as Save Merged, and reports the same messages on standard error.
//
//   plyfold-merge -o OUT.pdf [--password TEXT [--require view,print,copy,annotate,forms]]
//                 [--input-password TEXT] [--no-outline] INPUT...

#include "engine/PageRangeList.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace plyfold {

// Exit statuses of the command.
inline constexpr int kMergeExitOk = 0;
inline constexpr int kMergeExitFailed = 1; // a check or the merge failed; its message was shown
inline constexpr int kMergeExitUsage = 2;  // the command line itself is wrong

// One INPUT argument: a path, optionally followed by ":" and a range text as typed in a
// document's range box ("report.pdf:1-3, 5"). When the text after the last ":" is not a well-formed
// range text the whole argument is the path.
struct MergeInput {
    QString path;
    std::optional<QString> rangeText; // set when the argument carried a range
    PageRangeList ranges;             // the parsed range text
};
MergeInput ParseMergeInput(const QString& argument);

// The --require list: comma-separated words view, print, copy, annotate, forms (the Output
// Options boxes Viewing, Printing, Copying, Annotation, Filling Forms). Nothing when a word is
// unknown or the list is empty.
struct RequiredActions {
    bool viewing = false;
    bool printing = false;
    bool copying = false;
    bool annotation = false;
    bool fillingForms = false;
};
std::optional<RequiredActions> ParseRequiredActions(const QString& list);

// The --help text.
QString MergeCommandHelp();

// Runs the command with its arguments (without the program name) and returns the exit status.
// Needs a QApplication (the offscreen platform will do): password prompts and message boxes are
// answered on the terminal and standard error instead of being shown.
int RunMergeCommand(const QStringList& arguments);

} // namespace plyfold
