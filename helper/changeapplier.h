#ifndef CHANGEAPPLIER_H
#define CHANGEAPPLIER_H

#include "changerequest.h"
#include "labelaccess.h"

#include <QStringList>
#include <QVariantList>

class MicSystem;

// Applies a checked change request to the MIC system as one transaction:
// labels first, then the files; a failure undoes what was done.
class ChangeApplier
{
public:
    explicit ChangeApplier(MicSystem &system);

    bool apply(const ChangeRequest &request, QString *error);

    // What was skipped or applied only in part, in an administrator's words.
    QStringList warnings() const;
    // Whether the change takes effect only after a reboot.
    bool needReboot() const;
    // The labels protecting the file system changed, the first
    // `maxListedRelabels` of them: path, "from" and "to" levels, and whether
    // the object was raised as the container of another.
    QVariantList relabelled() const;
    int relabelledCount() const;
    static constexpr int maxListedRelabels = 200;

private:
    void applyMicState(const ChangeRequest &request);
    void applyServices(const ChangeRequest &request);
    bool applyUserLevels(const QHash<QString, unsigned int> &levels, QString *error);
    void applyRules(const ChangeRequest &request);
    bool protectFileSystem(QString *error);
    bool label(LabelAccess &labels, const QString &path, unsigned int level, bool container, QString *error);
    bool raiseContainer(LabelAccess &labels, const QString &path, unsigned int level, QString *error);
    // The objects whose label could not be put back.
    QStringList restoreLabels();
    bool failLabelling(const QString &why, QString *error);

    struct LabelChange {
        QString path;
        PreviousLabel previous;
    };

    MicSystem &system;
    QStringList warningTexts;
    bool rebootNeeded = false;
    QList<LabelChange> labelled;
    struct Relabelled {
        QString path;
        unsigned int from = 0;
        unsigned int to = 0;
        bool container = false;
    };
    QList<Relabelled> relabelledObjects;
};

#endif
