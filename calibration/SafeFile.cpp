// SPDX-FileCopyrightText: 2026 Vantrel
// SPDX-License-Identifier: GPL-3.0-or-later
#include "calibration/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#if defined(__unix__) || defined(__APPLE__)
#define SHIFTER_POSIX_FILES 1
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace calibration {

namespace {

QString quoted(const QString& path) { return "\"" + path + "\""; }

device::Status failed(const QString& sentence) { return {device::Fault::Failed, sentence.toStdString()}; }

device::Status not_regular(const QString& path, const char* what) {
    return failed(quoted(path) + " is " + what + "; only a new file or an existing regular file is written.");
}

#ifdef SHIFTER_POSIX_FILES

constexpr char kLeftoverPrefix[] = ".shiftercal-";
constexpr char kLeftoverSuffix[] = ".tmp";
constexpr int kLeftoverRandom = 6;

const char* what_it_is(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

QString reason(int error) { return qt_error_string(error); }

// A temporary file of ours in folder, made new (never an existing name, never
// through a link), with the permissions a new file gets under the umask.
int create_temporary(const QString& folder, QByteArray& name) {
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString leaf = kLeftoverPrefix;
        for (int i = 0; i < kLeftoverRandom; ++i) leaf += QChar(kChars[QRandomGenerator::global()->bounded(62)]);
        leaf += kLeftoverSuffix;
        name = QFile::encodeName(folder + '/' + leaf);
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool write_all(int fd, const QByteArray& bytes) {
    errno = 0;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

#endif

}  // namespace

#ifdef SHIFTER_POSIX_FILES

device::Status write_file_safely(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const bool exists = ::lstat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT) return failed(quoted(path) + " cannot be examined: " + reason(errno) + ".");
    if (exists && !S_ISREG(old.st_mode)) return not_regular(path, what_it_is(old.st_mode));

    QByteArray temporary;
    const int fd = create_temporary(QFileInfo(path).path(), temporary);
    if (fd < 0)
        return failed(quoted(path) + " cannot be written: no temporary file can be made beside it (" + reason(errno) +
                      ").");
    int error = 0;
    if (exists) {
        // root writing into a user's folder must not hand the user's file to
        // root; anyone else cannot change the owner and keeps their own. The
        // owner goes first, since a change of owner clears set-ID bits.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed: the new file stays ours, like any file we write.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) error = errno;
    }
    if (!error && !write_all(fd, bytes)) error = errno ? errno : EIO;
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temporary.constData(), target.constData()) == 0) return {};
    if (!error) error = errno;
    ::unlink(temporary.constData());
    return failed(quoted(path) + " cannot be written: " + reason(error) + ".");
}

device::Result<QByteArray> read_file_safely(const QString& path, qint64 max_bytes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) return failed(quoted(path) + " cannot be read: " + reason(errno) + ".");
    if (!S_ISREG(st.st_mode))
        return failed(quoted(path) + " is " + what_it_is(st.st_mode) + ", not a regular file.");
    // Without O_NONBLOCK a pipe put there since the check would hold the open
    // until someone writes to it.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failed(quoted(path) + " cannot be read: " + reason(errno) + ".");
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failed(quoted(path) + " is " + what_it_is(st.st_mode) + ", not a regular file.");
    }
    QByteArray bytes(max_bytes + 1, Qt::Uninitialized);
    qint64 got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return failed(quoted(path) + " cannot be read: " + reason(error) + ".");
        }
        if (n == 0) break;
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    return bytes;
}

bool is_safe_write_leftover(const QString& file_name) {
    static const QString prefix = kLeftoverPrefix, suffix = kLeftoverSuffix;
    if (file_name.size() != prefix.size() + kLeftoverRandom + suffix.size()) return false;
    if (!file_name.startsWith(prefix) || !file_name.endsWith(suffix)) return false;
    for (const QChar c : file_name.mid(prefix.size(), kLeftoverRandom))
        if (c.unicode() > 127 || !c.isLetterOrNumber()) return false;
    return true;
}

#else

// Elsewhere Qt alone: QFileInfo tells links and special files apart, and
// QSaveFile renames its temporary file over the target the way the platform
// replaces a file atomically.

device::Status write_file_safely(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    if (info.isSymLink()) return not_regular(path, "a symbolic link");
    if (info.exists() && !info.isFile()) return not_regular(path, info.isDir() ? "a folder" : "not a regular file");
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return failed(quoted(path) + " cannot be written: " + file.errorString() + ".");
    return {};
}

device::Result<QByteArray> read_file_safely(const QString& path, qint64 max_bytes) {
    const QFileInfo info(path);
    if (info.isSymLink()) return failed(quoted(path) + " is a symbolic link, not a regular file.");
    if (info.exists() && !info.isFile()) return failed(quoted(path) + " is not a regular file.");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential())
        return failed(quoted(path) + " cannot be read: " + file.errorString() + ".");
    QByteArray bytes = file.read(max_bytes + 1);
    if (file.error() != QFileDevice::NoError)
        return failed(quoted(path) + " cannot be read: " + file.errorString() + ".");
    return bytes;
}

bool is_safe_write_leftover(const QString& file_name) {
    // QSaveFile's temporary file: the target's name, a full stop and six
    // letters or digits.
    const qsizetype dot = file_name.size() - 7;
    if (dot < 1 || file_name[dot] != '.') return false;
    for (const QChar c : file_name.mid(dot + 1))
        if (c.unicode() > 127 || !c.isLetterOrNumber()) return false;
    return true;
}

#endif

}  // namespace calibration
