#include "changeapplier.h"
#include "micsystem.h"
#include "protectioncheck.h"
#include "statusvalues.h"

#include <utils.h>

#include <ksec_sim.h>

#include <KLocalizedString>

#include <QFile>
#include <QFileInfo>

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

namespace
{

bool readLabel(const QByteArray &path, QByteArray *value)
{
    char buffer[64];
    const ssize_t size = ::lgetxattr(path.constData(), KSEC_LABEL_XATTR, buffer, sizeof(buffer));
    if (size < 0) {
        return false;
    }
    *value = QByteArray(buffer, int(size));
    return true;
}

// A path whose every component is what it names: no symbolic link anywhere
// on the way, so labelling it touches exactly the object configured.
bool isFreeOfLinks(const QString &path)
{
    return QFileInfo(path).canonicalFilePath() == path;
}
}

ChangeApplier::ChangeApplier(MicSystem &system)
    : system(system)
{
}

QStringList ChangeApplier::warnings() const
{
    return warningTexts;
}

bool ChangeApplier::needReboot() const
{
    return rebootNeeded;
}

bool ChangeApplier::apply(const ChangeRequest &request, QString *error)
{
    applyMicState(request);
    applyServices(request);
    applyRules(request);
    if (request.userLevels) {
        for (auto it = request.userLevels->cbegin(); it != request.userLevels->cend(); ++it) {
            system.setUserLevel(it.key(), it.value());
        }
    }
    if (request.micFsStatus) {
        system.setFsProtection(*request.micFsStatus == StatusValue::Enabled);
        if (*request.micFsStatus == StatusValue::Enabled && !protectFileSystem(error)) {
            return false;
        }
    }
    if (!system.write(error)) {
        restoreLabels();
        return false;
    }
    return true;
}

void ChangeApplier::applyMicState(const ChangeRequest &request)
{
    if (request.micStatus) {
        const bool enable = *request.micStatus == StatusValue::Enabled;
        rebootNeeded |= enable != system.isEnabledAfterReboot();
        system.setEnabledAfterReboot(enable);
    }
    if (request.futureLevel) {
        rebootNeeded |= *request.futureLevel != system.maxLevelAfterReboot();
        system.setMaxLevelAfterReboot(*request.futureLevel);
    }
}

void ChangeApplier::applyServices(const ChangeRequest &request)
{
    const auto services = system.services();
    const auto setIsolated = [&](const ServiceState &service, bool isolated) {
        if (service.isolated == isolated) {
            return;
        }
        if (service.error) {
            warningTexts.append(i18n("The service %1 is in error; its isolation was not changed.", service.name));
            return;
        }
        system.setServiceIsolated(service.name, isolated);
    };
    if (request.servicesIsolatedStatus && *request.servicesIsolatedStatus != StatusValue::Partly) {
        for (const ServiceState &service : services) {
            if (service.isolatable && !service.error) {
                setIsolated(service, *request.servicesIsolatedStatus == StatusValue::Enabled);
            }
        }
        return;
    }
    if (!request.services) {
        return;
    }
    for (const ServiceIsolation &wanted : *request.services) {
        for (const ServiceState &service : services) {
            if (service.name == wanted.name) {
                setIsolated(service, wanted.isolated);
            }
        }
    }
}

void ChangeApplier::applyRules(const ChangeRequest &request)
{
    FsIlevConfig &config = system.editableConfig();
    if (request.ruleChanges) {
        config.applyRuleChanges(*request.ruleChanges);
    }
    if (request.exceptions) {
        config.setExceptions(*request.exceptions);
    }
}

bool ChangeApplier::protectFileSystem(QString *error)
{
    const FsIlevConfig &config = system.config();
    const QHash<QString, QString> rules = config.rules();
    ProtectionCheck check(rules, config.exceptions(), system.keywordMaxLevel());
    check.run();
    const QStringList paths = check.unprotectedPaths();
    for (const QString &path : paths) {
        if (!isFreeOfLinks(path)) {
            *error = i18n("%1 is reached through a symbolic link; it was not labelled and nothing was changed.", path);
            return false;
        }
    }
    for (const QString &path : paths) {
        const QByteArray encoded = QFile::encodeName(path);
        LabelChange change{path, false, {}};
        change.hadLabel = readLabel(encoded, &change.previous);
        const unsigned int level = Mic::Utils::configLevelToNumber(rules.value(path), system.keywordMaxLevel(), nullptr);
        const QByteArray value = QByteArray::number(level);
        if (::lsetxattr(encoded.constData(), KSEC_LABEL_XATTR, value.constData(), value.size(), 0) != 0) {
            *error = i18n("Cannot label %1: %2. Nothing was changed.", path, QString::fromLocal8Bit(std::strerror(errno)));
            restoreLabels();
            return false;
        }
        labelled.append(change);
    }
    const QStringList missing = check.missingPaths();
    if (!missing.isEmpty()) {
        constexpr int shownPaths = 10;
        QString list = missing.mid(0, shownPaths).join(QStringLiteral(", "));
        if (missing.size() > shownPaths) {
            list += i18np(" and %1 more", " and %1 more", missing.size() - shownPaths);
        }
        warningTexts.append(i18np("A configured object does not exist and was not labelled: %2",
                                  "%1 configured objects do not exist and were not labelled: %2",
                                  missing.size(),
                                  list));
    }
    return true;
}

void ChangeApplier::restoreLabels()
{
    for (const LabelChange &change : std::as_const(labelled)) {
        const QByteArray encoded = QFile::encodeName(change.path);
        if (change.hadLabel) {
            ::lsetxattr(encoded.constData(), KSEC_LABEL_XATTR, change.previous.constData(), change.previous.size(), 0);
        } else {
            ::lremovexattr(encoded.constData(), KSEC_LABEL_XATTR);
        }
    }
    labelled.clear();
}
