#pragma once

#include "engine/LocationResolver.h"
#include "engine/SyncJob.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quaverly {

/// A job together with what its run will do on this computer, decided once before anything is
/// written: for every track to add the file found and where it lands, for every track to remove
/// the file that goes or why none does, the bytes to copy and the room for them. The run carries
/// out exactly this; the window and the cli show it. A plain value with implicitly shared lists.
struct SyncPlan
{
    /// What becomes of one track to add.
    struct Copy
    {
        enum class Kind {
            /// `source` is copied to `target`.
            copy,
            /// No media file of ours: counted as done.
            noFile,
            /// A file of the computer that wrote the source library: counted as done.
            notOnThisComputer,
            /// Nothing at `source`: skipped and counted as done.
            missing,
            /// `source` is one of the two library files, under whatever name: never copied.
            libraryFile,
        };

        Kind kind = Kind::noFile;
        QString source{};
        /// Empty when the destination library folder is not on this computer.
        QString target{};
        qint64 size = 0;
        /// Where the file would have landed when another file has that place; empty otherwise.
        QString renamedFrom{};
    };

    /// What becomes of one track to remove.
    struct Removal
    {
        enum class Kind {
            /// The file at `path` goes, when it is still there.
            remove,
            noFile,
            notOnThisComputer,
            /// `path` lies outside the destination library folder: nothing of the user's
            /// elsewhere is ever deleted.
            outsideDestination,
            /// `path` is where a track to add lands: the source re-imported it under a new ID.
            placedAgain,
            /// `path` is also the file of a destination track that stays or of a source track.
            stillListed,
            /// `path` is one of the two library files, under whatever name.
            libraryFile,
        };

        Kind kind = Kind::noFile;
        QString path{};
    };

    /// One file of the "Album Artwork" mirror.
    struct ArtworkCopy
    {
        QString source{};
        QString target{};
        qint64 size = 0;
    };

    /// One file operation, as a person reads it: "copy", "remove", "keep", "skip" or "artwork".
    struct Operation
    {
        QString kind{};
        /// The file copied, removed, kept or skipped (as the library records it when it names no
        /// file of this computer).
        QString path{};
        /// Where a copy lands.
        QString target{};
        QString renamedFrom{};
        QString reason{};

        /// `copy SRC -> DST (renamed from X)`, `remove PATH`, `keep PATH (reason)`,
        /// `skip PATH (reason)`, `artwork SRC -> DST`.
        [[nodiscard]] QString line() const;
        friend bool operator==(const Operation &, const Operation &) = default;
    };

    /// What a run has done so far.
    struct Outcome
    {
        qsizetype copied = 0;
        qint64 bytesCopied = 0;
        qsizetype trashed = 0;
        qsizetype deleted = 0;
        qsizetype artworkCopied = 0;
    };

    SyncJob job{};
    LocationResolver source{};
    LocationResolver destination{};
    /// One entry per job.tracksToAdd, in the same order.
    QList<Copy> copies{};
    /// One entry per job.tracksToRemove, in the same order.
    QList<Removal> removals{};
    /// The destination's "Album Artwork" folder, made by the mirror; nothing when the source has
    /// no artwork folder or the job mirrors none.
    std::optional<QString> artworkFolder{};
    /// The artwork files that are missing from the mirror or older there.
    QList<ArtworkCopy> artwork{};

    qsizetype filesToCopy = 0;
    qsizetype filesMissing = 0;
    /// Tracks to add and to remove whose files lie on the other computer.
    qsizetype notOnThisComputer = 0;
    qsizetype keptOutsideDestination = 0;
    /// Removals kept because another track, or a copy of this run, uses their file.
    qsizetype keptStillListed = 0;
    /// Copies that take a new name because another file has their place.
    qsizetype renamedCopies = 0;
    /// Bytes of the tracks and artwork files to copy.
    qint64 bytesToCopy = 0;
    /// Free bytes on the destination library's volume, when it could be asked.
    std::optional<qint64> availableSpace{};
    /// Files the run will remove.
    qsizetype filesToRemove = 0;
    /// Whether removed files go to a Trash on the destination volume, from which the user can
    /// restore them; without one they would be deleted for good.
    bool trashAvailable = true;
    /// The tracks of the destination library, for the mass-removal guard.
    qsizetype destinationTrackCount = 0;
    /// The sync would remove most of the destination, or its source has no tracks at all: it
    /// removes nothing without the user's consent.
    bool removalNeedsConsent = false;

    /// What the user agreed to beyond an ordinary sync.
    struct Consent
    {
        /// Removing most of the destination.
        bool massRemoval = false;
        /// Deleting files for good where there is no Trash.
        bool permanentDeletion = false;
    };
    Consent consent{};
    Outcome outcome{};

    /// Files would be deleted for good, which waits for the user's consent.
    [[nodiscard]] bool deletionNeedsConsent() const { return filesToRemove > 0 && !trashAvailable; }

    /// Why a file is not copied, or not removed, in a few words ("not found", "outside the
    /// destination library folder", …); empty for one that is.
    [[nodiscard]] static QString reason(Copy::Kind kind);
    [[nodiscard]] static QString reason(Removal::Kind kind);

    /// The paths of the files to copy that were not found, in list order.
    [[nodiscard]] QStringList missingFiles() const;
    /// Every file operation in the order the run carries them out; with `doneOnly`, those its
    /// run has carried out so far. Tracks without a file are left out.
    [[nodiscard]] QList<Operation> operations(bool doneOnly) const;
    /// What the run did, a line each for what applies: files copied and their bytes, moved to
    /// the Trash or deleted, kept and why (of the removals it reached), artwork files copied.
    [[nodiscard]] QStringList outcomeSummary() const;
    /// The paths the run copied tracks to so far, in list order.
    [[nodiscard]] QStringList copiedTargets() const;
    /// An extended M3U playlist (UTF-8) of every track file the run copied, for adding them to the
    /// destination's music application in one step.
    [[nodiscard]] QByteArray importList() const;
    /// Why the sync must not start (nothing to copy can be found, not enough room, a mass
    /// removal without consent), as the sentence the user sees; nothing when it may.
    [[nodiscard]] std::optional<QString> refusal() const;
    /// What the user should know before the sync, one sentence a line: where a library is
    /// read from, files not found, files on the other computer, removals kept, bytes to copy.
    [[nodiscard]] QStringList notice() const;
};

/// "512 bytes", "1.5 MB", "12.4 GB": decimal units, one decimal, the same on every machine.
[[nodiscard]] QString formattedByteCount(qint64 bytes);

} // namespace quaverly
