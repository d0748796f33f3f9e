#include "app/CSavedMergeDlg.h"

#include "app/DialogIds.h"
#include "controls/DialogUnits.h"
#include "res/Resources.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace plyfold {

namespace {

CSavedMergeDlg::Answerer& answerer() {
    static CSavedMergeDlg::Answerer instance;
    return instance;
}

} // namespace

CSavedMergeDlg::CSavedMergeDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Save Merge Complete"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const DialogUnits du(font());
    setFixedSize(du.Size(255, 65));

    m_headline =
        new QLabel(QStringLiteral("Your merged PDF file has been saved successfully!"), this);
    m_headline->setGeometry(du.Rect(7, 7, 241, 8));
    m_question = new QLabel(QStringLiteral("What would you like to do next?"), this);
    m_question->setGeometry(du.Rect(7, 20, 104, 8));

    m_icon = new QLabel(this);
    const QRect iconRect = du.Rect(225, 7, 21, 20);
    m_icon->setGeometry(iconRect);
    m_icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const int edge = std::min(iconRect.width(), iconRect.height());
    m_icon->setPixmap(LoadResIcon(ids::IDI_SAVE_COMPLETE).pixmap(QSize(edge, edge)));

    m_open = new QPushButton(QStringLiteral("Open merged file"), this);
    m_open->setGeometry(du.Rect(7, 44, 87, 14));
    m_open->setDefault(true);
    m_showFolder = new QPushButton(QStringLiteral("Show containing folder"), this);
    m_showFolder->setGeometry(du.Rect(102, 44, 85, 14));
    m_done = new QPushButton(QStringLiteral("Done"), this);
    m_done->setGeometry(du.Rect(198, 44, 50, 14));

    const std::pair<QWidget*, int> named[] = {
        {m_headline, ids::IDC_SAVE_COMPLETE_HEADLINE},
        {m_icon, ids::IDC_SAVE_COMPLETE_ICON},
        {m_open, ids::IDOK},
        {m_showFolder, ids::IDC_SHOW_FOLDER},
        {m_done, ids::IDCANCEL},
    };
    for (const auto& [widget, id] : named) {
        widget->setObjectName(QString::number(id));
    }

    connect(m_open, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_showFolder, &QPushButton::clicked, this, [this] { done(kShowContainingFolder); });
    connect(m_done, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog();
    // With the bold headline in place, every text gets the room it needs in this font.
    FitChildTexts(this, du.X(7));
}

CSavedMergeDlg::~CSavedMergeDlg() = default;

void CSavedMergeDlg::SetAnswerer(Answerer answererFunction) {
    answerer() = std::move(answererFunction);
}

void CSavedMergeDlg::OnInitDialog() {
    m_headlineFont = font();
    m_headlineFont.setWeight(QFont::Bold); // 700
    m_headline->setFont(m_headlineFont);
    m_open->setFocus();
}

QWidget* CSavedMergeDlg::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

int CSavedMergeDlg::DoModal() {
    int result = QDialog::Rejected;
    if (answerer()) {
        setResult(QDialog::Rejected);
        answerer()(*this);
        result = this->result();
    } else {
        result = exec();
    }
    if (result == QDialog::Accepted) {
        return kOpenMergedFile;
    }
    return result == kShowContainingFolder ? kShowContainingFolder : kDone;
}

} // namespace plyfold
