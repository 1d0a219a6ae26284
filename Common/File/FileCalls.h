#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/stat.h>

// The system calls that saving and the records of interrupted saves share. Each that can fail
// returns 0 or the error number, and hands its results over through its pointers.
namespace file {

// What the program can prove about which file a name or a descriptor refers to, each part as a
// short key that is only compared: the file system (its own identity where the system offers
// one, else the device), the inode, and what tells the file from a newer one that took over its
// inode after it was deleted: its birth time, or where the file system keeps none, the
// generation number it gives each new inode. A change time cannot tell them apart, as it may
// count whole seconds only and a new file may be made within the same second.
struct Identity
{
    QByteArray fileSystem;
    quint64 device = 0;
    quint64 inode = 0;
    QByteArray born; // empty: the file system keeps neither
};

QString SystemError(int error);
QByteArray DirectoryOf(const QByteArray& path);
QByteArray NameOf(const QByteArray& path);
// A short key of 'text', the first 'digits' hex digits of its SHA-256.
QByteArray KeyOf(const QByteArray& text, int digits);
// Follows symbolic links from 'given'. 0 when a file is there ('info' describes it), ENOENT
// when the name is free ('path' is where the file would be), else the error number.
int Resolve(QByteArray given, QByteArray* path, struct stat* info);
// The identity of the open file 'fd', or where fd < 0, of the file that 'path' names (a last
// symbolic link itself).
int Identify(int fd, const QByteArray& path, Identity* identity);
// The names of the entries of the folder just opened as 'folder' (but "." and ".."), read whole
// before the caller changes any of them.
int EntriesOf(int folder, QList<QByteArray>* names);
// A new file of this user alone (0600) in 'directory', named 'prefix', random digits and a
// check that ties them to this very folder, and locked from its first moment on so that no
// cleaning of leftovers takes it. First it removes the temporary files that saves which died
// left there: those of this user, under a name it made in this folder (its check proves it; a
// copy from another folder does not carry it), that no live save holds locked, also where the
// user may write but not read them. 'entries', if given, gets the names that stay there.
int CreateTemporary(const QByteArray& directory, const QByteArray& prefix, UniqueFd* fd,
                    QByteArray* name, QList<QByteArray>* entries = nullptr);
// Writes the whole content of 'from' over the start of 'to' and syncs 'to'. Where 'to' was
// longer, the caller has cut it first, so that nothing is cut behind a write of its own.
int CopyContent(int from, int to);
// Whether the two files hold the same bytes.
int SameContent(int a, int b, bool* same);
// Gives 'from' the name 'to' unless a file has that name; where the file system cannot tell,
// a plain rename.
int RenameNoReplace(const QByteArray& from, const QByteArray& to);
// The same file, not merely one that took over a freed inode number: the change time moves
// with every new file and every change of owner, mode, links or content.
bool SameFile(const struct stat& a, const struct stat& b);
// The same file, as it was: also its content's size and modification time.
bool Unchanged(const struct stat& was, const struct stat& now);
// Syncs a folder where the file system offers it.
int SyncDirectory(const QByteArray& directory);
// The first 'size' bytes of a UTF-8 name or fewer, never cut inside a character: a name shown
// to the user must be the one on the disk.
QByteArray CutAtCharacter(const QByteArray& name, int size);

} // namespace file
