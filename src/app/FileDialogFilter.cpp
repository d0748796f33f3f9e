#include "app/FileDialogFilter.h"

#include <QRegularExpression>

namespace plyfold {

QStringList NameFiltersFromResFilter(const QString& filter) {
    const QStringList fields = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString description = fields[i].trimmed();
        const QString patternField = fields[i + 1].trimmed();
        if (description.isEmpty() || patternField.isEmpty()) {
            continue;
        }
        QStringList patterns;
        for (const QString& pattern : patternField.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString p = pattern.trimmed();
            if (!p.isEmpty()) {
                patterns.append(p == QLatin1String("*.*") ? QStringLiteral("*") : p);
            }
        }
        if (patterns.isEmpty()) {
            continue;
        }
        static const QRegularExpression trailingParenthesis(QStringLiteral("\\s*\\([^()]*\\)$"));
        description.remove(trailingParenthesis);
        result.append(description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')'));
    }
    return result;
}

} // namespace plyfold
