// The first start of a gateway in a new program folder: an installed gateway has nobody to lay
// out its folder, so a folder without settings and database gets the default database and a
// commented "set.ini" that points at it. A folder that holds either file is never touched: a
// broken or missing "set.ini" there is the operator's to see, not ours to paper over. Server
// thread only.
#pragma once

#include <QString>

namespace lonvera::server {

enum class FirstStart {
    NotNeeded, ///< the folder already has its settings or its database
    Prepared,  ///< folder, database and settings file were created now
    Failed     ///< something could not be created; the reason says what
};

/// Prepares folder when it has neither "set.ini" nor "qx.qxocx"; version goes into [ocx] Ver.
FirstStart prepareProgramFolder(const QString &folder, const QString &version,
                                QString *reason = nullptr);

/// The text of the "set.ini" written at first start.
QString defaultSettingsText(const QString &version);

} // namespace lonvera::server
