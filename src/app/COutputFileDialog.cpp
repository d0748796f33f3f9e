#include "app/COutputFileDialog.h"

#include "app/CPDFOutputOptionDlg.h"
#include "app/DialogIds.h"
#include "app/FileDialogFilter.h"
#include "app/MergeJob.h"
#include "controls/MessageBox.h"
#include "res/Strings.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace plyfold {

namespace {

COutputFileDialog::FileNameAnswerer& answerer() {
    static COutputFileDialog::FileNameAnswerer instance;
    return instance;
}

// A refused name keeps the dialog open; an answerer that insists on refused names is taken as
// having cancelled rather than asked forever.
constexpr int kMaxAnswers = 100;

} // namespace

COutputFileDialog::COutputFileDialog(const QString& filter, QWidget* owner,
                                     CPDFOutputOptionDlg* options, QStringList inputPaths)
    : QFileDialog(owner), m_options(options), m_inputPaths(std::move(inputPaths)) {
    // The widget-based dialog, so that it can carry the "Options..." button. The overwrite
    // question is asked by this class after its own checks (see accept()).
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::DontConfirmOverwrite, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(QStringLiteral("pdf"));
    setNameFilters(NameFiltersFromResFilter(filter));
    setSizeGripEnabled(true);
    AddOptionsButton();
}

COutputFileDialog::~COutputFileDialog() = default;

void COutputFileDialog::SetFileNameAnswerer(FileNameAnswerer answererFunction) {
    answerer() = std::move(answererFunction);
}

void COutputFileDialog::AddOptionsButton() {
    m_optionsButton = new QPushButton(LoadResString(ids::IDS_OPTIONS_BUTTON), this);
    m_optionsButton->setObjectName(QStringLiteral("optionsButton"));
    // Enter in the name field must still save, never open the options.
    m_optionsButton->setAutoDefault(false);
    connect(m_optionsButton, &QPushButton::clicked, this,
            [this] { OnButtonClicked(ids::IDC_OUTPUT_OPTIONS_BUTTON); });

    // One more row below Save and Cancel, in their column.
    auto* grid = qobject_cast<QGridLayout*>(layout());
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    const int index = grid && buttons ? grid->indexOf(buttons) : -1;
    if (index >= 0) {
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        grid->addWidget(m_optionsButton, row + rowSpan, column, 1, columnSpan, Qt::AlignTop);
    } else if (layout()) {
        layout()->addWidget(m_optionsButton);
    }
}

void COutputFileDialog::OnButtonClicked(int id) {
    if (id != ids::IDC_OUTPUT_OPTIONS_BUTTON || !m_options) {
        return;
    }
    m_optionsConfirmed |= m_options->DoModal(this);
}

bool COutputFileDialog::IsInputPath(const QString& path, const QStringList& inputPaths) {
    return IsInputPathIgnoringCase(path, inputPaths);
}

bool COutputFileDialog::OnFileNameOK(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir()) {
        return false;
    }
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        AppMessageBoxText(this,
                          QCoreApplication::translate(
                              "QFileDialog",
                              "%1\nDirectory not found.\nPlease verify the correct directory "
                              "name was given.")
                              .arg(QDir::toNativeSeparators(folder)),
                          MessageIcon::Warning, QMessageBox::Ok, windowTitle());
        return false;
    }
    if (IsInputPath(path, m_inputPaths)) {
        AppMessageBox(this, ids::IDS_OUTPUT_IS_INPUT, {}, MessageIcon::Warning);
        return false;
    }
    return true;
}

bool COutputFileDialog::ConfirmOverwrite(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return true;
    }
    const int answer = AppMessageBoxText(
        this,
        QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
            .arg(info.fileName()),
        MessageIcon::Warning, QMessageBox::Yes | QMessageBox::No, windowTitle());
    return answer == QMessageBox::Yes;
}

void COutputFileDialog::accept() {
    const QStringList files = selectedFiles();
    const auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const bool goesUp = nameEdit && nameEdit->text() == QLatin1String("..");
    if (files.isEmpty() || goesUp || QFileInfo(files.first()).isDir()) {
        // Nothing chosen yet, or a folder typed: the dialog itself moves there.
        QFileDialog::accept();
        return;
    }
    const QString& path = files.first();
    if (!OnFileNameOK(path) || !ConfirmOverwrite(path)) {
        return;
    }
    m_pathName = path;
    QFileDialog::accept();
}

QString COutputFileDialog::CompletePath(const QString& typed) const {
    const QString absolute =
        QDir::isAbsolutePath(typed) ? typed : directory().absoluteFilePath(typed);
    const QFileInfo info(absolute);
    QString result = absolute;
    if (!defaultSuffix().isEmpty() && !info.isDir() &&
        !info.fileName().contains(QLatin1Char('.'))) {
        result += QLatin1Char('.') + defaultSuffix();
    }
    return QDir::cleanPath(result);
}

int COutputFileDialog::DoModal() {
    m_pathName.clear();
    if (answerer()) {
        for (int attempt = 0; attempt < kMaxAnswers; ++attempt) {
            const QString typed = answerer()(*this);
            if (typed.isEmpty()) {
                return ids::IDCANCEL;
            }
            const QString path = CompletePath(typed);
            if (OnFileNameOK(path) && ConfirmOverwrite(path)) {
                m_pathName = path;
                return ids::IDOK;
            }
        }
        return ids::IDCANCEL;
    }
    if (exec() != QDialog::Accepted) {
        m_pathName.clear();
        return ids::IDCANCEL;
    }
    if (m_pathName.isEmpty()) {
        m_pathName = selectedFiles().value(0);
    }
    return m_pathName.isEmpty() ? ids::IDCANCEL : ids::IDOK;
}

} // namespace plyfold
