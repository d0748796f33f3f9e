#include "res/Strings.h"

#include <algorithm>
#include <iterator>

namespace plyfold {

namespace {

struct StringEntry {
    int id;
    const char16_t* text;
};

// Sorted by id (checked at compile time below), so a lookup is a binary search.
constexpr StringEntry kStrings[] = {
    {ids::IDS_OLE_INIT_FAILED,
     u"OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {ids::IDR_MAINFRAME, u"Tessarine Plyfold"},
    {ids::IDS_ADD_FILE, u"Add File"},
    {ids::IDS_ADD_FOLDER, u"Add Folder"},
    {ids::IDS_CLEAR_ALL, u"Clear All"},
    {ids::IDS_SAVE_MERGED, u"Save Merged"},
    {ids::IDS_PDF_FILTER, u"PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*||"},
    {ids::IDS_ENTER_PASSWORD, u"Enter Password for %s"},
    {ids::IDS_OPEN_FAILED, u"Cannot open file '%s'"},
    {ids::IDS_EMPTY_AREA_TITLE, u"Choose files or folders to merge"},
    {ids::IDS_EMPTY_AREA_HINT, u"You can also drag files from the desktop"},
    {ids::IDS_OUTPUT_PAGE_COUNT, u"Output File: %d Pages"},
    {ids::IDS_PAGE_CAPTION, u"Page: %d"},
    {ids::IDS_READ_ERROR, u"Error while reading %s"},
    {ids::IDS_COPY_PASSWORD, u"Enter password for copying permission of file %s"},
    {ids::IDS_SHOW_CONTENTS, u"Show file contents"},
    {ids::IDS_HIDE_CONTENTS, u"Hide file contents"},
    {ids::IDS_REMOVE_FILE_TIP, u"Remove the file from the merge"},
    {ids::IDS_REMOVE_PAGE_TIP, u"Remove the page from the output"},
    {ids::IDS_TOGGLE_FILE_TIP, u"Toggle this file's output"},
    {ids::IDS_TOGGLE_PAGE_TIP, u"Toggle this page's output"},
    {ids::IDS_SELECT_FOLDER, u"Select a folder"},
    {ids::IDS_SPLASH_VERSION, u"Version <version>\n\n<user>\n<company>"},
    {ids::IDS_CLICK_TO_DISMISS, u"Click to dismiss"},
    {ids::IDS_SAVE_FAILED, u"Cannot save the file"},
    {ids::IDS_NO_PAGES_SELECTED, u"You have selected no pages to merge!"},
    {ids::IDS_MERGE_FAILED, u"An error has occured while creating the merged file"},
    {ids::IDS_OUTPUT_IS_INPUT, u"Error: the output file is one of the input files"},
    {ids::IDS_OPTIONS_BUTTON, u"Options..."},
    {ids::IDS_NO_DOCUMENTS, u"Please add one or more documents by dragging them into the "
                            u"application, or by using the Add File or Add Folder buttons"},
    {ids::IDS_LOADING, u"Loading..."},
    {ids::IDS_TOO_FEW_SOURCES, u"Please select pages to merge from at least 2 different documents"},
    {ids::IDS_ADD_FILE_TIP, u"Add File (Ctrl+O)\nAdd a file to merge"},
    {ids::IDS_ADD_FOLDER_TIP, u"Add Folder (ctrl+f)\nAdd contents of folder to merge"},
    {ids::IDS_CLEAR_ALL_TIP, u"Clear All (ctrl+x)\nRemove all files from merge"},
    {ids::IDS_SAVE_MERGED_TIP, u"Save Merged (ctrl+s)\nCreate merged file and save"},
    {ids::IDS_PAGE_CAPTION_SHORT, u"P.: %d"},
    {ids::IDS_PRODUCT_NAME, u"Plyfold"},
    {ids::IDS_SPLASH_COPYRIGHT, u"<copyright>"},
    {ids::IDS_NO_UPDATES, u"No updates found"},
    {ids::IDS_EDIT_MENU, u"Edit"},
    {ids::IDS_EMPTY_PASSWORD, u"Error: you must enter a non-empty password"},
    {ids::IDS_PASSWORD_WITHOUT_PERMISSIONS,
     u"Error: you've entered a password, but didn't select any permissions to require that "
     u"password"},
    {ids::IDS_CHECKING_FOR_UPDATES, u"Checking for Updates"},
    {ids::IDS_COLLECTING_UPDATE_DATA, u"Collecting Update Data"},
    {ids::IDS_RETRIEVING_RESULTS, u"Retriving Results"},
    {ids::IDS_INITIALIZING_DOWNLOAD, u"Initializing Download"},
    {ids::IDS_CONNECTING, u"Connecting"},
    {ids::IDS_DOWNLOADING_UPDATE, u"Downloading Update"},
    {ids::IDS_DOWNLOAD_PROGRESS, u"Downloading Update\n%uKb of %uKb"},
    {ids::IDS_PURCHASE_UPDATE, u"&Purchase Update"},
    {ids::IDS_DOWNLOAD, u"&Download"},
    {ids::IDS_CLOSE, u"Close"},
    {ids::IDS_IGNORE, u"Ignore"},
    {ids::IDS_APP_TITLE, u"Plyfold"},
};

constexpr bool IsStrictlyAscending() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].id >= kStrings[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsStrictlyAscending(), "string table must be sorted by id without duplicates");

const StringEntry* Find(int id) {
    const auto* end = std::end(kStrings);
    const auto* it = std::lower_bound(std::begin(kStrings), end, id,
                                      [](const StringEntry& e, int key) { return e.id < key; });
    return (it != end && it->id == id) ? it : nullptr;
}

} // namespace

QString LoadResString(int id) {
    const StringEntry* entry = Find(id);
    return entry ? QString::fromUtf16(entry->text) : QString();
}

bool HasResString(int id) {
    return Find(id) != nullptr;
}

std::vector<int> ResStringIds() {
    std::vector<int> result;
    result.reserve(std::size(kStrings));
    for (const StringEntry& entry : kStrings) {
        result.push_back(entry.id);
    }
    return result;
}

QString FormatText(const QString& format, const QStringList& args) {
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 >= n) {
            out.append(c);
            continue;
        }
        const QChar d = format.at(i + 1);
        qsizetype length = 0; // characters after the '%' that make up the conversion
        if (d == u'%') {
            out.append(u'%');
            ++i;
            continue;
        }
        if (d == u's' || d == u'd' || d == u'i' || d == u'u' || d == u'S') {
            length = 1;
        } else if (d == u'l' && i + 2 < n && format.at(i + 2) == u's') {
            length = 2;
        }
        if (length == 0) {
            out.append(c);
            continue;
        }
        if (next < args.size()) {
            out.append(args.at(next));
        }
        ++next;
        i += length;
    }
    return out;
}

QString FormatResString(int id, const QStringList& args) {
    const StringEntry* entry = Find(id);
    return entry ? FormatText(QString::fromUtf16(entry->text), args) : QString();
}

} // namespace plyfold
