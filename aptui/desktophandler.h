#pragma once

#include <QString>

class QUrl;

namespace aptui {

// Whether the desktop has a program for a kind of file, and opening a
// local file or folder only where it has. QDesktopServices::openUrl hands
// a local file to xdg-open and answers true once that started, also when
// xdg-open then finds no program ("no method available") and nothing
// opens; a caller that must tell the user so asks first. Widget-free; any
// thread (it runs a short child process).
namespace DesktopHandler {

// False only when the desktop was asked (xdg-mime query default) and
// names no program for `mimeType`; true when it cannot be asked (no
// xdg-mime, no answer in time), so that the desktop's opener still gets
// its chance.
bool namesProgramFor(const QString &mimeType);

// Opens a local file or folder: false without asking the desktop's opener
// when namesProgramFor() says there is no program for it (a folder is
// "inode/directory"), else what QDesktopServices::openUrl answers.
bool open(const QUrl &url);

} // namespace DesktopHandler

} // namespace aptui
