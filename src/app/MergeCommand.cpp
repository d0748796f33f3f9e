#include "app/MergeCommand.h"

#include "app/DialogPrompts.h"
#include "app/MergeJob.h"
#include "app/OutputProtection.h"
#include "controls/CStringDlg.h"
#include "controls/MessageBox.h"
#include "engine/DocumentPrompts.h"
#include "engine/PathUtil.h"
#include "engine/TextConversion.h"
#include "platform/TerminalPassword.h"
#include "platform/splice/XpdfSplice.h"
#include "res/Strings.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace plyfold {

namespace {

const char kProgram[] = "plyfold-merge";

// How far the merge is, on one line of standard error that is rewritten in place, for a person
// watching a terminal: the pages copied of the pages total, then the per cent written. The line is
// rewritten at most every tenth of a second (and at each stage's end), and wiped when the merge
// ends, so that the messages that follow start on a clean line.
class TerminalProgressLine {
public:
    // Wipes the line shown now, if any: anything else written to the terminal does it first.
    static void WipeShown() {
        if (shown != nullptr) {
            shown->Clear();
        }
    }

    TerminalProgressLine() { shown = this; }
    ~TerminalProgressLine() {
        Clear();
        shown = nullptr;
    }
    TerminalProgressLine(const TerminalProgressLine&) = delete;
    TerminalProgressLine& operator=(const TerminalProgressLine&) = delete;

    // The pages the merge copies in all, once every input is checked; until then the pages copied
    // are shown alone.
    void SetTotal(std::int64_t total) { m_total = total; }

    bool Report(int stage, long long done) {
        const auto now = std::chrono::steady_clock::now();
        const bool last = (stage == kSpliceCopying && m_total > 0 && done >= m_total) ||
                          (stage == kSpliceWriting && done >= 100);
        if (stage == m_stage && !last && now - m_shown < std::chrono::milliseconds(100)) {
            return true;
        }
        QString text = QStringLiteral("%1: writing the merged file: %2%").arg(kProgram).arg(done);
        if (stage == kSpliceCopying) {
            text = m_total > 0 ? QStringLiteral("%1: copying pages: %2 of %3")
                                     .arg(kProgram)
                                     .arg(done)
                                     .arg(m_total)
                               : QStringLiteral("%1: copying pages: %2").arg(kProgram).arg(done);
        }
        if (text != m_text) {
            m_text = text;
            Show(text.toLocal8Bit());
        }
        m_stage = stage;
        m_shown = now;
        return true;
    }

    // Wipes the line; the next report shows it again.
    void Clear() {
        if (m_width > 0) {
            std::fprintf(stderr, "\r%*s\r", m_width, "");
            std::fflush(stderr);
            m_width = 0;
        }
        m_text.clear();
        m_stage = -1;
    }

private:
    void Show(const QByteArray& line) {
        // Spaces over what is left of a longer line before it.
        const int width = int(line.size());
        std::fprintf(stderr, "\r%s%*s", line.constData(), std::max(0, m_width - width), "");
        std::fflush(stderr);
        m_width = std::max(m_width, width);
    }

    static TerminalProgressLine* shown;

    std::int64_t m_total = 0;
    int m_stage = -1;
    std::chrono::steady_clock::time_point m_shown{};
    QString m_text;
    int m_width = 0;
};

TerminalProgressLine* TerminalProgressLine::shown = nullptr;

void PrintError(const QString& text) {
    TerminalProgressLine::WipeShown();
    std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

int UsageError(const QString& text) {
    PrintError(text);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
    return kMergeExitUsage;
}

// Restores the prompts and message boxes of the window when the command returns.
class CommandLineAnswers {
public:
    explicit CommandLineAnswers(std::optional<QString> inputPassword) {
        InstallDialogPrompts();
        SetMessageBoxAnswerer([](const MessageBoxRequest& request) {
            PrintError(request.text);
            // The reason, when known, on a line of its own, as the window shows it below the
            // message.
            if (!request.detail.isEmpty()) {
                PrintError(request.detail);
            }
            return int(QMessageBox::Ok);
        });
        SetStringDlgAnswerer([password = std::move(inputPassword)](
                                 const StringDlgRequest& request) -> std::optional<QString> {
            if (password) {
                return *password;
            }
            // Asked on the terminal without echo; without a terminal the prompt is cancelled,
            // and the file is reported as not openable.
            TerminalProgressLine::WipeShown();
            return ReadSecretFromTerminal(request.title + QStringLiteral(": "));
        });
    }
    ~CommandLineAnswers() {
        SetMessageBoxAnswerer({});
        SetStringDlgAnswerer({});
    }
    CommandLineAnswers(const CommandLineAnswers&) = delete;
    CommandLineAnswers& operator=(const CommandLineAnswers&) = delete;
};

} // namespace

MergeInput ParseMergeInput(const QString& argument) {
    MergeInput input;
    input.path = argument;
    const qsizetype colon = argument.lastIndexOf(QLatin1Char(':'));
    if (colon > 0) {
        const QString text = argument.mid(colon + 1);
        PageRangeList ranges;
        if (ranges.Parse(text)) {
            input.path = argument.left(colon);
            input.rangeText = text;
            input.ranges = ranges;
        }
    }
    return input;
}

std::optional<RequiredActions> ParseRequiredActions(const QString& list) {
    RequiredActions actions;
    const QStringList words = list.split(QLatin1Char(','));
    for (const QString& raw : words) {
        const QString word = raw.trimmed().toLower();
        if (word == QLatin1String("view")) {
            actions.viewing = true;
        } else if (word == QLatin1String("print")) {
            actions.printing = true;
        } else if (word == QLatin1String("copy")) {
            actions.copying = true;
        } else if (word == QLatin1String("annotate")) {
            actions.annotation = true;
        } else if (word == QLatin1String("forms")) {
            actions.fillingForms = true;
        } else {
            return std::nullopt;
        }
    }
    return actions;
}

namespace {

// What the generated option list cannot say: how an INPUT names its pages, and the exit statuses.
const char kDescription[] =
    "Merges pages of several PDF files into one PDF 1.6 file, exactly as Plyfold's\n"
    "Save Merged does: the INPUTs in the order given, and within each input its chosen\n"
    "pages in ascending order. The merge needs pages from at least two different files.";
const char kAfterOptions[] =
    "\n"
    "Passwords on the command line can be seen by other users in the list of\n"
    "processes: prefer the prompts (--password or --input-password without a value,\n"
    "or with '-') or the files.\n"
    "\n"
    "--require takes a comma-separated list of the Output Options boxes that the\n"
    "password guards:\n"
    "  view      Viewing: the password opens the file\n"
    "  print     Printing\n"
    "  copy      Copying\n"
    "  annotate  Annotation\n"
    "  forms     Filling Forms\n"
    "\n"
    "Messages go to standard error. Exit status: 0 when the merged file was written,\n"
    "1 when a check or the merge failed (the message says why), 2 when the command\n"
    "line is wrong.\n";

// The command's options; `parser` keeps copies, the names are used again to read the values.
struct MergeOptions {
    QCommandLineOption output{
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral("The merged file. An existing file is replaced only when the merge "
                       "succeeds; after a failure it is exactly as before. It must not be one of "
                       "the inputs (letter case ignored)."),
        QStringLiteral("OUT.pdf")};
    QCommandLineOption password{
        QStringLiteral("password"),
        QStringLiteral("Protect the merged file with this password (AES-128). The password "
                       "always lifts every restriction; --require says what it guards, and is "
                       "needed with --password. Without TEXT, or with '-', it is asked on the "
                       "terminal (typed twice, not echoed)."),
        QStringLiteral("TEXT")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("The password in the first line of FILE."),
                                    QStringLiteral("FILE")};
    QCommandLineOption require{
        QStringLiteral("require"),
        QStringLiteral("What the password guards: view, print, copy, annotate, forms (see "
                       "below)."),
        QStringLiteral("LIST")};
    QCommandLineOption inputPassword{
        QStringLiteral("input-password"),
        QStringLiteral("The password for inputs that need one to open, or to allow copying their "
                       "pages. Without it (or with '-'), the password of each such file is asked "
                       "on the terminal (not echoed), and the file is refused when there is no "
                       "terminal."),
        QStringLiteral("TEXT")};
    QCommandLineOption inputPasswordFile{
        QStringLiteral("input-password-file"),
        QStringLiteral("The inputs' password in the first line of FILE."), QStringLiteral("FILE")};
    QCommandLineOption noOutline{
        QStringLiteral("no-outline"),
        QStringLiteral("Leave the inputs' bookmarks out of the merged file. Without it, each "
                       "input gets a bookmark named after its file that holds its own "
                       "bookmarks.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this text.")};

    std::array<const QCommandLineOption*, 8> All() const {
        return {&output,        &password,          &passwordFile, &require,
                &inputPassword, &inputPasswordFile, &noOutline,    &help};
    }

    // A parser that knows these options and the INPUT arguments.
    void AddTo(QCommandLineParser& parser) const {
        parser.setApplicationDescription(QString::fromLatin1(kDescription));
        for (const QCommandLineOption* option : All()) {
            parser.addOption(*option);
        }
        parser.addPositionalArgument(
            QStringLiteral("INPUT"),
            QStringLiteral("A PDF file, optionally followed by ':' and the pages to take, written "
                           "as in a document's range box: 'report.pdf:1-3, 5'. Without a range "
                           "every page is taken. When the text after the last ':' is not a range "
                           "text, the whole argument is the path; a file whose own name ends in "
                           "':' and a number is named with its range added ('scan:2:1-4')."),
            QStringLiteral("INPUT..."));
    }
};

const QString kAskOnTerminal = QStringLiteral("-");

// A password option given without a value (last, or followed by one of the options) means "ask on
// the terminal": the parser gets "-" as its value, which says the same. Anything else that
// follows is the password, even when it starts with '-'.
QStringList WithAskedSecrets(const QStringList& arguments, const MergeOptions& options) {
    QStringList spellings;
    for (const QCommandLineOption* option : options.All()) {
        for (const QString& name : option->names()) {
            spellings.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                             name);
        }
    }
    const auto isOption = [&spellings](const QString& argument) {
        return spellings.contains(argument.section(QLatin1Char('='), 0, 0));
    };
    QStringList result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        result.append(argument);
        if (argument == QLatin1String("--")) {
            result.append(arguments.mid(i + 1));
            break;
        }
        if ((argument == QLatin1String("--password") ||
             argument == QLatin1String("--input-password")) &&
            (i + 1 == arguments.size() || isOption(arguments[i + 1]))) {
            result.append(kAskOnTerminal);
        }
    }
    return result;
}

// Whichever of the two options came last on the command line (each may be given more than once;
// the last one counts); null when neither was given.
const QCommandLineOption* LastOf(const QCommandLineParser& parser, const QCommandLineOption& first,
                                 const QCommandLineOption& second) {
    const QStringList used = parser.optionNames();
    for (qsizetype i = used.size() - 1; i >= 0; --i) {
        for (const QCommandLineOption* option : {&first, &second}) {
            if (option->names().contains(used[i])) {
                return option;
            }
        }
    }
    return nullptr;
}

} // namespace

QString MergeCommandHelp() {
    QCommandLineParser parser;
    MergeOptions().AddTo(parser);
    // The parser names the program as it was started (a whole path, perhaps); the text names it
    // as it is installed.
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: %1 [options] INPUT...").arg(QString::fromLatin1(kProgram)));
    return text + QString::fromLatin1(kAfterOptions);
}

namespace {

// The output password asked on the terminal, typed twice. An error text when it cannot be asked
// or the two do not match.
std::optional<QString> AskOutputPassword(QString& error) {
    if (!StdinIsTerminal()) {
        error = QStringLiteral("no terminal to ask for the password on; use --password-file");
        return std::nullopt;
    }
    const std::optional<QString> first =
        ReadSecretFromTerminal(QStringLiteral("Password for the merged file: "));
    if (!first) {
        error = QStringLiteral("no password was typed");
        return std::nullopt;
    }
    const std::optional<QString> again =
        ReadSecretFromTerminal(QStringLiteral("Type the password again: "));
    if (!again || *again != *first) {
        error = QStringLiteral("the two passwords differ");
        return std::nullopt;
    }
    return first;
}

// The first line of a password file; an error text when it cannot be read.
std::optional<QString> PasswordFromFile(const QString& path, QString& error) {
    std::optional<QString> line = ReadFirstLineOfFile(path);
    if (!line) {
        error = QStringLiteral("cannot read the password file '%1'").arg(path);
    }
    return line;
}

// Bit of the permission word that allows copying (extracting) content.
constexpr std::uint32_t kCopyPermission = 0x10;

// What the command keeps of an input file it opened.
struct OpenedInputFacts {
    int pages = 0;
    QString password; // what opened the file; empty when it needed none
};

// Asks for a password through the installed prompt, titled with string `promptId` formatted with
// `argument`; the answer trimmed, or nothing when the prompt was cancelled.
std::optional<QString> AskInputPassword(int promptId, const QString& argument) {
    PasswordPromptRequest request;
    request.title = FormatResString(promptId, {argument});
    std::optional<QString> typed = AskForPassword(request);
    if (typed) {
        *typed = typed->trimmed();
    }
    return typed;
}

// A file opened without a password, and why it did not open (the splicing layer's reason, taken
// on the thread that opened it).
struct FirstOpening {
    SpliceInputHandle input;
    XpdfSpliceOpenError error = XpdfSpliceOpenError::None;
    std::string reason;
};

// What one input file needs opened: its path, and the pages whose objects are read ahead for
// copying (none when the file is only checked).
struct OpeningRequest {
    QString path;
    std::vector<std::pair<int, int>> readAhead;
};

FirstOpening OpenWithoutPassword(const OpeningRequest& request) {
    FirstOpening opening;
    opening.input.reset(
        xpdfSpliceOpenInputExW(reinterpret_cast<const char16_t*>(request.path.utf16()), nullptr,
                               &opening.error, request.readAhead));
    if (!opening.input) {
        opening.reason = xpdfSpliceLastError();
    }
    return opening;
}

// Opens the input files in the order they are checked, one ahead of the check on a second thread,
// so that reading a file overlaps the checks (and prompts) of the one before it.
class OpeningsAhead {
public:
    explicit OpeningsAhead(std::vector<OpeningRequest> requests)
        : m_requests(std::move(requests)) {}
    OpeningsAhead(const OpeningsAhead&) = delete;
    OpeningsAhead& operator=(const OpeningsAhead&) = delete;
    // (An opening started and not taken is waited for when its future goes, and its file closed.)
    ~OpeningsAhead() = default;

    // The opening of requests[index], which must be asked for in order.
    FirstOpening Take(std::size_t index) {
        Start(index);
        Start(index + 1);
        auto found = m_started.find(index);
        FirstOpening opening = found->second.get();
        m_started.erase(found);
        return opening;
    }

private:
    void Start(std::size_t index) {
        if (index >= m_requests.size() || m_started.contains(index)) {
            return;
        }
        try {
            m_started.emplace(
                index, std::async(std::launch::async, OpenWithoutPassword, m_requests[index]));
        } catch (const std::system_error&) {
            // No thread to be had: opened when taken, on the calling thread.
            m_started.emplace(
                index, std::async(std::launch::deferred, OpenWithoutPassword, m_requests[index]));
        }
    }

    std::vector<OpeningRequest> m_requests;
    std::map<std::size_t, std::future<FirstOpening>> m_started;
};

// Finishes opening one input for splicing from its opening without a password, as the window
// opens a document it adds: a file that needs a password to open asks for it (prompt 205 with the
// file name) and gets one attempt; a file that opens without one but forbids copying asks for the
// password that allows copying (prompt 212 with the file name), which must open the file, as the
// owner password does. On success the page
// count is returned with the password that opened it, and the open file is handed to `keep` when
// given, or else closed again (the merge then opens it with that password when its turn comes).
// Nothing when the file cannot be read, a prompt was cancelled or the password was wrong; `reason`
// then says which, in the splicing layer's words where it has them.
std::optional<OpenedInputFacts> OpenInputFile(const QString& path, FirstOpening opening,
                                              SpliceInputHandle* keep, QString& reason) {
    const auto* widePath = reinterpret_cast<const char16_t*>(path.utf16());
    const XpdfSpliceOpenError error = opening.error;
    SpliceInputHandle input = std::move(opening.input);
    std::optional<QString> typed;
    if (error == XpdfSpliceOpenError::Password) {
        typed = AskInputPassword(ids::IDS_ENTER_PASSWORD, FileNameAfterFolder(path));
    } else if (input && xpdfSpliceIsEncrypted(input.get()) &&
               (xpdfSpliceGetPermissions(input.get()) & kCopyPermission) == 0) {
        QString folder;
        QString name;
        if (!SplitPath(path, &folder, &name)) {
            name.clear();
        }
        typed = AskInputPassword(ids::IDS_COPY_PASSWORD, name);
        if (!typed) {
            reason = QStringLiteral("the file forbids copying; its owner password is needed");
            return std::nullopt;
        }
    }
    if (typed) {
        input.reset(xpdfSpliceOpenInputWithPasswordW(widePath, ToNarrow(*typed).constData()));
        if (!input) {
            reason = QString::fromStdString(xpdfSpliceLastError());
        }
    } else if (error == XpdfSpliceOpenError::Password) {
        // (The layer's own reason names the empty password it tried as a wrong one.)
        reason = QStringLiteral("the file needs a password to open");
    } else if (!input) {
        reason = QString::fromStdString(opening.reason);
    }
    if (!input) {
        return std::nullopt;
    }
    OpenedInputFacts facts;
    facts.pages = xpdfSpliceGetPageCount(input.get());
    if (facts.pages < 0) {
        reason = QString::fromStdString(xpdfSpliceLastError());
        return std::nullopt;
    }
    facts.password = typed.value_or(QString());
    if (keep != nullptr) {
        *keep = std::move(input);
    }
    return facts;
}

} // namespace

int RunMergeCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    const MergeOptions options;
    options.AddTo(parser);
    QStringList withProgram = WithAskedSecrets(arguments, options);
    withProgram.prepend(QString::fromLatin1(kProgram));
    if (!parser.parse(withProgram)) {
        return UsageError(parser.errorText());
    }
    if (parser.isSet(options.help)) {
        std::fputs(MergeCommandHelp().toLocal8Bit().constData(), stdout);
        return kMergeExitOk;
    }
    const QString output = parser.value(options.output);
    const bool outlines = !parser.isSet(options.noOutline);
    const QStringList inputArguments = parser.positionalArguments();
    std::optional<QString> require;
    if (parser.isSet(options.require)) {
        require = parser.value(options.require);
    }
    QString error;
    std::optional<QString> password;
    if (const QCommandLineOption* given = LastOf(parser, options.password, options.passwordFile)) {
        if (given == &options.passwordFile) {
            password = PasswordFromFile(parser.value(*given), error);
        } else if (parser.value(*given) == kAskOnTerminal) {
            password = AskOutputPassword(error);
        } else {
            password = parser.value(*given);
        }
        if (!password) {
            return UsageError(error);
        }
    }
    std::optional<QString> inputPassword;
    if (const QCommandLineOption* given =
            LastOf(parser, options.inputPassword, options.inputPasswordFile)) {
        if (given == &options.inputPasswordFile) {
            inputPassword = PasswordFromFile(parser.value(*given), error);
            if (!inputPassword) {
                return UsageError(error);
            }
        } else if (parser.value(*given) != kAskOnTerminal) {
            // "-" asks on the terminal for each file that needs it, as without the option.
            inputPassword = parser.value(*given);
        }
    }
    if (output.isEmpty()) {
        return UsageError(QStringLiteral("no output file given (-o OUT.pdf)"));
    }

    // The protection, as the Output Options dialog would make it from the same choice.
    OutputProtectionChoice choice;
    if (require) {
        const std::optional<RequiredActions> actions = ParseRequiredActions(*require);
        if (!actions) {
            return UsageError(QStringLiteral("--require takes a list of view, print, copy, "
                                             "annotate, forms; not '%1'")
                                  .arg(*require));
        }
        choice.viewing = actions->viewing;
        choice.printing = actions->printing;
        choice.copying = actions->copying;
        choice.annotation = actions->annotation;
        choice.fillingForms = actions->fillingForms;
    }
    if (password || require) {
        choice.protectMode = 1;
        choice.password = password.value_or(QString());
    }

    CommandLineAnswers answers(inputPassword);
    if (const int refusal = ValidateOutputProtection(choice); refusal != 0) {
        AppMessageBox(nullptr, refusal, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }
    const OutputProtection protection = ComputeOutputProtection(choice);

    xpdfSpliceInit();
    // Full paths, as the window's dialogs give them: the checks compare paths as text. A file
    // named again is not opened or asked for again: it has the page count and password of its
    // first opening (the path compared as the window compares its documents').
    std::vector<MergeInput> inputs;
    std::map<QString, std::size_t> openingOf;
    for (const QString& argument : inputArguments) {
        MergeInput input = ParseMergeInput(argument);
        input.path = QFileInfo(input.path).absoluteFilePath();
        openingOf.emplace(PathKey(input.path), openingOf.size());
        inputs.push_back(std::move(input));
    }
    const QString target = QFileInfo(output).absoluteFilePath();
    std::optional<OutputProtection> encryption;
    if (protection.Encrypts()) {
        encryption = protection;
    }
    // Progress on a terminal, from the first copied page.
    std::optional<TerminalProgressLine> line;
    XpdfSpliceProgress report;
    if (StderrIsTerminal()) {
        line.emplace();
        report = [&line](int stage, long long done) { return line->Report(stage, done); };
    }
    // The merge begins with the checks: each input's pages are copied as soon as it passes them,
    // while its file is still open, so that no file is read twice. Nothing is written before every
    // check below has passed, and their messages come in the same order; after a failed check no
    // more pages are copied. When the output cannot be started here, the checks close each file
    // (but the first) and the merge opens it again when its turn comes.
    MergeJob job;
    const bool early = job.StartEarly(target, encryption, outlines, report);
    // Each file is opened where it is first named; for the early merge, with what its pages there
    // need read ahead (a range that turns out invalid only reads less). Not the first file: it is
    // waited for, so the copy reading what it needs is quicker than reading it before.
    std::vector<OpeningRequest> requests(openingOf.size());
    for (const MergeInput& input : inputs) {
        const std::size_t index = openingOf.at(PathKey(input.path));
        OpeningRequest& request = requests[index];
        if (!request.path.isEmpty()) {
            continue;
        }
        request.path = input.path;
        if (!early || index == 0) {
            continue;
        }
        if (!input.rangeText) {
            request.readAhead.emplace_back(1, std::numeric_limits<int>::max());
        }
        for (const PageRange& range : input.ranges) {
            request.readAhead.emplace_back(range.first, range.end - 1);
        }
    }
    OpeningsAhead openings(std::move(requests));
    std::vector<MergeSource> sources;
    std::map<QString, OpenedInputFacts> known;
    bool opened = true;
    for (const MergeInput& input : inputs) {
        MergeSource source;
        source.path = input.path;
        const QString key = PathKey(source.path);
        auto found = known.find(key);
        if (found == known.end()) {
            // Kept open for the early merge; without it, only the first input is kept, since the
            // merge starts with it as soon as the checks are done, and the others are closed so
            // that the merge holds one or two inputs at a time.
            QString reason;
            std::optional<OpenedInputFacts> facts =
                OpenInputFile(source.path, openings.Take(openingOf.at(key)),
                              early || sources.empty() ? &source.opened : nullptr, reason);
            if (!facts) {
                ReportError(
                    {nullptr, FormatResString(ids::IDS_OPEN_FAILED, {source.path}), reason});
                opened = false; // reported; the other inputs are still checked
                continue;
            }
            found = known.emplace(key, std::move(*facts)).first;
        }
        const OpenedInputFacts& facts = found->second;
        source.password = facts.password;
        if (input.rangeText) {
            PageRangeList ranges;
            if (!ranges.IsValidFor(*input.rangeText, facts.pages)) {
                PrintError(QStringLiteral("pages '%1' are not within the %2 pages of '%3'")
                               .arg(*input.rangeText)
                               .arg(facts.pages)
                               .arg(source.path));
                opened = false;
                continue;
            }
            source.ranges = ranges;
        } else if (facts.pages > 0) {
            source.ranges.Insert(PageRange{1, facts.pages + 1});
        }
        if (!early) {
            sources.push_back(std::move(source));
            continue;
        }
        MergeSource checked;
        checked.path = source.path;
        checked.password = source.password;
        checked.ranges = source.ranges;
        sources.push_back(std::move(checked));
        if (opened) {
            job.AddEarly(std::move(source));
        }
    }
    if (!opened) {
        return kMergeExitFailed;
    }
    if (const int refusal = CheckMergeSelection(sources); refusal != 0) {
        AppMessageBox(nullptr, refusal, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }

    QStringList inputPaths;
    for (const MergeSource& source : sources) {
        inputPaths.append(source.path);
    }
    // The save dialog's refusal (letter case ignored), then the comparisons of the save: the
    // exact text, and the file itself however it is named.
    if (IsInputPathIgnoringCase(target, inputPaths) || IsInputFile(sources, target)) {
        AppMessageBox(nullptr, ids::IDS_OUTPUT_IS_INPUT, {}, MessageIcon::Error);
        return kMergeExitFailed;
    }
    if (job.Prepare(std::move(sources), target, nullptr) != MergeResult::Written) {
        return kMergeExitFailed;
    }
    if (line) {
        line->SetTotal(job.totalPages());
    }
    const MergeOutcome outcome = job.Write(encryption, outlines, report);
    if (job.Finish(outcome, nullptr) != MergeResult::Written) {
        return kMergeExitFailed;
    }
    return kMergeExitOk;
}

} // namespace plyfold
