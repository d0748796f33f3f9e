#pragma once

#include <QString>

namespace plyfold {

// A text template loaded from a file in which tags are replaced by values.
class QzFileTagReplacer {
public:
    virtual ~QzFileTagReplacer() = default;

    // Reads the file as 8-bit text in the locale's encoding, with CR LF turned into LF, into
    // `original` and `content`. False if the file cannot be opened or a read fails part way.
    bool Load(const QString& path);

    // Replaces every occurrence of `tag` in `content` by `text`. The search resumes after each
    // inserted text, so a text that itself contains the tag is not replaced again.
    void Replace(const QString& tag, const QString& text);

    QString content;  // the working text, read directly by the caller
    QString original; // the text as loaded
};

} // namespace plyfold
