#pragma once

// "A New <product> Update is Available": the modal dialog that offers an update found by the
// update query, or a pending installer download. It names the version, shows up to three news
// lines from the server, links to a page with more information, and lets the user accept
// (download, or buy a paid upgrade) or decline.

#include "update/UpdateInfo.h"

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

namespace plyfold {

namespace ids {
inline constexpr int IDD_UPDATE_NOTIFY = 2004;
inline constexpr int IDC_UPDATE_HEADLINE = 2204;  // "Version <version> of <product> is ..."
inline constexpr int IDC_UPDATE_MORE_INFO = 2205; // the "More Information" link
inline constexpr int IDC_UPDATE_LINE1 = 2206;
inline constexpr int IDC_UPDATE_LINE2 = 2207;
inline constexpr int IDC_UPDATE_LINE3 = 2208;
inline constexpr int IDC_UPDATE_ACTION = 2209; // "<action>": download or purchase
inline constexpr int IDC_UPDATE_BULLET1 = 2212;
inline constexpr int IDC_UPDATE_BULLET2 = 2213;
inline constexpr int IDC_UPDATE_BULLET3 = 2214;
inline constexpr int IDC_UPDATE_DECLINE = 2; // "<cancel>": the cancel button
} // namespace ids

class CUpdateNotifyDlg : public QDialog {
    Q_OBJECT
public:
    // The dialog's results.
    static constexpr int kAccepted = 1; // the action button (IDOK)
    static constexpr int kDeclined = 2; // the decline button, Escape or closing (IDCANCEL)

    // `info` (not owned) must outlive the dialog; `productName` is the product's display name
    // (string 240); `parent` the main window.
    CUpdateNotifyDlg(const UpdateInfo& info, const QString& productName, QWidget* parent);
    ~CUpdateNotifyDlg() override;

    // Fills in the texts, shows the dialog modally and returns kAccepted (1) when the user pressed
    // the action button, kDeclined (2) otherwise.
    int DoModal();

    // The action text: "&Purchase Update" for a paid upgrade, "&Download" otherwise; the decline
    // text: "Close" for a paid upgrade, "Ignore" otherwise.
    const QString& actionText() const { return m_actionText; }
    const QString& declineText() const { return m_declineText; }
    // Where the "More Information" link leads.
    QString linkTarget() const;

    // The control with the given id (ids::IDC_UPDATE_...), or null.
    QWidget* Control(int id) const;

    // Test seam: while an answerer is set, DoModal does not show the dialog. It fills the texts
    // as for a showing, then hands the dialog to the answerer, which works its controls as a person
    // would (clicking a button ends the dialog as usual). A showing the answerer leaves open
    // counts as declined. Pass an empty function to show the real dialog again.
    using Answerer = std::function<void(CUpdateNotifyDlg&)>;
    static void SetAnswerer(Answerer answerer);

private:
    void BuildControls();
    void OnInitDialog();
    void OpenLink();

    const UpdateInfo& m_info;
    QString m_productName;
    QString m_actionText;
    QString m_declineText;
    QString m_linkTarget;
    bool m_initialised = false;

    QLabel* m_headline = nullptr;
    QLabel* m_bullets[3] = {};
    QLabel* m_lines[3] = {};
    QPushButton* m_moreInfo = nullptr;
    QPushButton* m_action = nullptr;
    QPushButton* m_decline = nullptr;
};

} // namespace plyfold
