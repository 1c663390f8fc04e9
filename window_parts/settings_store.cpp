#include "settings_store.h"

#include <QSettings>

namespace kim {
namespace {

QString get(const char* key, const QString& absent) {
    QSettings s(kOrganisation, kProgramTitle);
    return s.value(QLatin1String(key), absent).toString();
}

// Stored at once: another run of the program sees it straight away.
void put(const char* key, const QString& value) {
    QSettings s(kOrganisation, kProgramTitle);
    s.setValue(QLatin1String(key), value);
    s.sync();
}

constexpr const char* kCalcOnFly = "Configuration/CalcOnFly";
constexpr const char* kLastDir = "Settings/Last Dir";
constexpr const char* kCompany = "User/Company";
constexpr const char* kEngineer = "User/Engineer";
constexpr const char* kPhone = "User/Phone";
constexpr const char* kAddress = "User/Address";
constexpr const char* kFinderBandFrom = "Finder/Band From";
constexpr const char* kFinderBandTo = "Finder/Band To";
constexpr const char* kFinderRaster = "Finder/Raster";
constexpr const char* kFinderKeepFromStudy = "Finder/Keep From Study";
constexpr const char* kFinderFind = "Finder/Find";
constexpr const char* kFinderOffset = "Finder/Offset";
constexpr const char* kFinderExclude = "Finder/Exclude";
constexpr const char* kFinderSetSize = "Finder/Set Size";
constexpr const char* kFinderTimeLimit = "Finder/Time Limit";

} // namespace

bool settingToBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    bool isNumber = false;
    const double v = t.toDouble(&isNumber);
    return isNumber ? v != 0 : true;
}

namespace settings {

bool calcOnFly() {
    return settingToBool(get(kCalcOnFly, QStringLiteral("True")));
}
void setCalcOnFly(bool on) {
    put(kCalcOnFly, on ? QStringLiteral("True") : QStringLiteral("False"));
}
QString lastDir(const QString& absent) {
    return get(kLastDir, absent);
}
void setLastDir(const QString& path) {
    put(kLastDir, path);
}
QString company(const QString& absent) {
    return get(kCompany, absent);
}
void setCompany(const QString& text) {
    put(kCompany, text);
}
QString engineer(const QString& absent) {
    return get(kEngineer, absent);
}
void setEngineer(const QString& text) {
    put(kEngineer, text);
}
QString phone() {
    return get(kPhone, QString());
}
void setPhone(const QString& text) {
    put(kPhone, text);
}
QString address() {
    return get(kAddress, QString());
}
void setAddress(const QString& text) {
    put(kAddress, text);
}
QString finderBandFrom() {
    return get(kFinderBandFrom, QString());
}
void setFinderBandFrom(const QString& text) {
    put(kFinderBandFrom, text);
}
QString finderBandTo() {
    return get(kFinderBandTo, QString());
}
void setFinderBandTo(const QString& text) {
    put(kFinderBandTo, text);
}
QString finderRaster() {
    return get(kFinderRaster, QStringLiteral("12.5"));
}
void setFinderRaster(const QString& text) {
    put(kFinderRaster, text);
}
bool finderKeepFromStudy() {
    return settingToBool(get(kFinderKeepFromStudy, QStringLiteral("False")));
}
void setFinderKeepFromStudy(bool on) {
    put(kFinderKeepFromStudy, on ? QStringLiteral("True") : QStringLiteral("False"));
}
QString finderFind() {
    return get(kFinderFind, QStringLiteral("Receive"));
}
void setFinderFind(const QString& text) {
    put(kFinderFind, text);
}
QString finderOffset() {
    return get(kFinderOffset, QString());
}
void setFinderOffset(const QString& text) {
    put(kFinderOffset, text);
}
QString finderExclude() {
    return get(kFinderExclude, QString());
}
void setFinderExclude(const QString& text) {
    put(kFinderExclude, text);
}
QString finderSetSize() {
    return get(kFinderSetSize, QStringLiteral("24"));
}
void setFinderSetSize(const QString& text) {
    put(kFinderSetSize, text);
}
QString finderTimeLimit() {
    return get(kFinderTimeLimit, QStringLiteral("60"));
}
void setFinderTimeLimit(const QString& text) {
    put(kFinderTimeLimit, text);
}

} // namespace settings
} // namespace kim
