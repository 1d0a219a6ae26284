#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// The system calls that saving and the records of interrupted saves share. Each returns 0 or
// true on success; on failure the error number, or false with errno set.
namespace file {

QString SystemError(int error);
QByteArray DirectoryOf(const QByteArray& path);
QByteArray NameOf(const QByteArray& path);
// Follows symbolic links from 'given'. 0 when a file is there ('info' describes it), ENOENT
// when the name is free ('path' is where the file would be), else the error number.
int Resolve(QByteArray given, QByteArray* path, struct stat* info);
// A new file of this user alone (0600) in 'directory', named 'prefix', a short part of its own
// and a check, locked from its first moment on so that no cleaning of leftovers takes it; -1
// with errno set.
int CreateTemporary(const QByteArray& directory, const QByteArray& prefix, QByteArray* name);
// Removes the temporary files that saves which died left in 'directory': those of this user,
// under a name CreateTemporary made with 'prefix' (its check proves it), that no live save
// holds locked.
void CleanLeftovers(const QByteArray& directory, const QByteArray& prefix);
// Copies the whole content of 'from' over the start of 'to', cuts 'to' behind it and syncs it.
int CopyContent(int from, int to);
// Whether the two files hold the same bytes; false also when either cannot be read.
bool SameContent(int a, int b);
// Gives 'from' the name 'to' unless a file has that name; where the file system cannot tell,
// a plain rename.
bool RenameNoReplace(const QByteArray& from, const QByteArray& to);
// The same file, not merely one that took over a freed inode number: the change time moves
// with every new file and every change of owner, mode, links or content.
bool SameFile(const struct stat& a, const struct stat& b);
// Syncs a folder where the file system offers it.
int SyncDirectory(const QByteArray& directory);
// The first 'size' bytes of a UTF-8 name or fewer, never cut inside a character: a name shown
// to the user must be the one on the disk.
QByteArray CutAtCharacter(const QByteArray& name, int size);

} // namespace file
