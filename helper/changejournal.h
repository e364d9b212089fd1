// SPDX-License-Identifier: GPL-2.0-or-later
// SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers

#ifndef CHANGEJOURNAL_H
#define CHANGEJOURNAL_H

#include "labelaccess.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

/*
 * What a change is doing, written ahead of it, so that a change the helper
 * could not finish (killed, or the machine lost power) is undone at its next
 * start. One file, "change.journal" in the helper's own folder, root's
 * alone:
 *
 *   begin    the request, its caller, its time and what it asks;
 *   file     each state file the change replaces, and whether it existed
 *            (its previous content goes to "<file>.old.next" first);
 *   label    each object labelled, with the label it had, before it is
 *            written;
 *   stage    "backed-up" once every previous content is on disk, "done"
 *            once every new file is, "undone" once it was undone (by a
 *            recovery, or by the helper when the change failed).
 *
 * A change done and in the history, or undone, needs its journal no more:
 * it is removed, so that no start of the helper reads a journal of a
 * million labels that only says all is well.
 *
 * Each record is one line behind a checksum of it; reading stops at the
 * first line that does not match, which only the last, torn by a crash, may
 * be. The records up to "begin" and every stage are on disk before the
 * change goes on; label records once flush() returns, which the change asks
 * before it writes the labels recorded.
 */
class ChangeJournal
{
public:
    enum class Stage { None, BackedUp, Done, Undone };

    struct Header {
        QByteArray requestId;
        qint64 uid = -1;
        QString user;
        QDateTime time;
        // What was asked, in an administrator's words.
        QString summary;
        // The digests of the state files before the change (see
        // HistoryEntry::before), for the history of a change a crash ended
        // after it was done.
        QVariantMap before;
    };
    struct FileRecord {
        QString path;
        bool existed = false;
    };
    struct LabelRecord {
        QString path;
        PreviousLabel previous;
    };
    struct Content {
        Header header;
        QList<FileRecord> files;
        QList<LabelRecord> labels;
        Stage stage = Stage::None;
    };

    // The helper's own folder below a state root.
    static QString folderOf(const QString &stateRoot);
    static QString pathIn(const QString &folder);

    explicit ChangeJournal(const QString &folder);
    ~ChangeJournal();
    ChangeJournal(const ChangeJournal &) = delete;
    ChangeJournal &operator=(const ChangeJournal &) = delete;

    // A new journal, on disk when this returns true.
    bool begin(const Header &header, const QList<FileRecord> &files, QString *error);
    // The checksum that leads each record.
    class Checksum;
    // Label records, made one after another on any thread: a change of a
    // million objects makes a million, so each is written in place with
    // one checksum kept for all.
    class LabelRecords
    {
    public:
        LabelRecords();
        ~LabelRecords();
        void add(const QString &path, const PreviousLabel &previous);
        void add(std::string_view utf8Path, const PreviousLabel &previous);
        const QByteArray &lines() const;

    private:
        std::unique_ptr<Checksum> checksum;
        std::string payload;
        QByteArray text;
    };
    // Records kept in this order until flush(), which writes them at once:
    // no object is labelled before its record is on disk anyway.
    void recordLabels(const LabelRecords &records);
    // The records so far written and on disk.
    bool flush(QString *error);
    // Writes `records` and returns once they are on disk; threads may call
    // this at once, each waiting for the disk apart from the others.
    bool appendLabels(const LabelRecords &records, QString *error);
    // Durable when this returns true.
    bool markStage(Stage stage, QString *error);

    // The journal in `folder`; nothing when there is none.
    static std::optional<Content> read(const QString &folder);
    // Whether the journal in `folder` reads, and not even its beginning is
    // whole: its change changed nothing.
    static bool isUnbegun(const QString &folder);
    // Why no change begins while the journal of another remains.
    static QString remainsText(const QString &folder);
    // The records of a journal as far as they are whole, and how many bytes
    // they take; nothing when not even its beginning is.
    static std::optional<Content> parse(const QByteArray &data, qsizetype *wholeLength = nullptr);
    // Waits until no other helper works on the state of `folder`, and keeps
    // it so for the rest of the process: a second helper (one started by
    // hand beside the bus's) never undoes the change of the first. Without
    // a folder that can hold the lock (a read-only state), it goes on.
    static void lockFolderForProcess(const QString &folder);
    // Syncs a folder: the renames and new names in it are on disk.
    static bool syncFolder(const QString &folder);
    // The record of a label, as the journal holds it (without checksum).
    static QByteArray labelPayload(const QString &path, const PreviousLabel &previous);
    static void appendLabelPayload(std::string *payload, const QString &path, const PreviousLabel &previous);
    static void appendLabelPayload(std::string *payload, std::string_view utf8Path, const PreviousLabel &previous);
    // Removes the journal of a change that is finished.
    static void discard(const QString &folder);
    // Adds a stage to the journal in `folder`, durably.
    static bool appendStage(const QString &folder, Stage stage);

private:
    bool append(const QByteArray &payload);
    bool appendLines(const QByteArray &lines);
    bool sync();

    QString folder;
    int fd = -1;
    // The bytes of the records written whole.
    qsizetype wholeSize = 0;
    // Label records not yet written.
    QByteArray unwritten;
    // Threads of one change write and sync at once.
    std::mutex writing;
    std::mutex syncing;
    // The error of a sync that failed (0: none), which later syncs would
    // not report again.
    int syncFailure = 0;
};

#endif
