#include "engine/CDoc.h"

#include "engine/DocumentList.h"
#include "engine/PlyfoldInstance.h"
#include "engine/TextConversion.h"
#include "platform/splice/XpdfSplice.h"

#include <memory>

namespace plyfold {

CDoc::CDoc(PDFInstanceManager* manager)
    : m_manager(manager != nullptr ? manager : &PDFInstanceManager::Global()) {}

CDoc::~CDoc() {
    ReleaseInstance();
}

void CDoc::ReleaseInstance() {
    if (m_instance != nullptr) {
        PDFInstance* instance = m_instance;
        m_instance = nullptr;
        m_manager->Release(instance);
    }
}

bool CDoc::Open(const QString& path) {
    ReleaseInstance();
    PDFInstance* instance = m_manager->Lookup(path);
    if (instance == nullptr) {
        auto opened = std::make_unique<PlyfoldInstance>(m_manager);
        if (!opened->Open(path)) {
            return false;
        }
        instance = opened.release();
        m_manager->Register(path, instance);
    }
    m_instance = instance;
    m_path = path;
    m_ranges = PageRangeList();
    const int pages = instance->PageCount();
    if (pages > 0) {
        m_ranges.Insert(PageRange{1, pages + 1});
    }
    return true;
}

int CDoc::PageCount() const {
    return m_instance != nullptr ? m_instance->PageCount() : 0;
}

void CDoc::SetRanges(const PageRangeList& list) {
    if (m_ranges.Equals(list)) {
        return;
    }
    m_ranges = list;
    if (m_list != nullptr) {
        m_list->Notify(NotifyCode::DocRangesChanged, this);
    }
}

void CDoc::SetIncluded(bool included) {
    if (m_included == included) {
        return;
    }
    m_included = included;
    if (m_list != nullptr) {
        m_list->Notify(NotifyCode::DocIncludedChanged, this);
    }
}

XpdfSpliceInput CDoc::OpenSpliceInput() const {
    if (m_instance == nullptr) {
        return nullptr;
    }
    const auto* path = reinterpret_cast<const char16_t*>(m_path.utf16());
    const QString& password = m_instance->password;
    if (password.isEmpty()) {
        return xpdfSpliceOpenInputW(path);
    }
    return xpdfSpliceOpenInputWithPasswordW(path, ToNarrow(password).constData());
}

} // namespace plyfold
