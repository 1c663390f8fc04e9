#include "settings_store.h"

#include <QSettings>

namespace kim {
namespace {
QString path(const QString& section, const QString& key) {
    return section + '/' + key;
}
} // namespace

QString getSetting(const QString& section, const QString& key, const QString& def) {
    QSettings s(kOrganisation, kProgramTitle);
    return s.value(path(section, key), def).toString();
}

void saveSetting(const QString& section, const QString& key, const QString& value) {
    QSettings s(kOrganisation, kProgramTitle);
    s.setValue(path(section, key), value);
    s.sync();
}

bool settingToBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    bool isNumber = false;
    const double v = t.toDouble(&isNumber);
    return isNumber ? v != 0 : true;
}

bool readCalcOnFly() {
    return settingToBool(getSetting("Configuration", "CalcOnFly", QStringLiteral("True")));
}

void writeCalcOnFly(bool on) {
    saveSetting("Configuration", "CalcOnFly",
                on ? QStringLiteral("True") : QStringLiteral("False"));
}

} // namespace kim
