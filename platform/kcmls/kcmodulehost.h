// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef KCMLS_KCMODULEHOST_H
#define KCMLS_KCMODULEHOST_H

#include <KCModule>

#include <QPointer>
#include <functional>

namespace KCMLS
{
class LumenKCModule;

/*
 * What the Frameworks 6 hosts load: a KCModule that shows a LumenKCModule
 * page as its widget, and passes the host's load, save and defaults to it
 * and its changed state back.
 */
class KCModuleHost : public KCModule
{
    Q_OBJECT
public:
    using PageMaker = std::function<LumenKCModule *(QWidget *parent)>;

    KCModuleHost(QObject *parent, const KPluginMetaData &data, const PageMaker &makePage);
    ~KCModuleHost() override;

    QWidget *widget() override;
    LumenKCModule *page() const;

    void load() override;
    void save() override;
    void defaults() override;

private:
    QPointer<LumenKCModule> shownPage;
};
}

#endif
