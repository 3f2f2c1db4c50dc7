// The files the application falls back on when the settings name none.
// On Windows they are the historical "c:\velmor\..." paths; elsewhere the same
// file names in the folder "velmor" of the user's home folder.
#pragma once

#include <QString>

namespace velmor::paths {

// "c:\velmor" on Windows, ~/velmor elsewhere.
QString defaultFolder();

// The database file used when `cheminbase` is not stored: velmor2001.mdb.
QString defaultDatabase();

// The database the sheets and lists work on: the server chosen with "Se
// connecter à un serveur…" (`serveur`, its address without the password)
// when one is, else the file `cheminbase`, else defaultDatabase().
QString databaseInUse();

// The sheets' background image when `cheminimage` is not stored: velmor2.jpg.
QString defaultSheetImage();

// The image the options window's "ok" loads when `cheminimage` is not
// stored: velmor.jpeg.
QString defaultOptionsOkImage();

} // namespace velmor::paths
