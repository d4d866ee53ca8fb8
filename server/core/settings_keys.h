// Every "set.ini" key the server and its dialogs read or write, named once, so a key the settings
// dialog writes is the key the core reads back. Keys are matched without regard to case, as the
// profile files do; the spelling here is the one written into new files.
#pragma once

namespace lonvera::server {

/// A section and key of "set.ini".
struct SettingKey
{
    const char *section;
    const char *key;
};

namespace keys {

inline constexpr SettingKey Database{"Ocxdb", "database"};

inline constexpr SettingKey ServiceMode{"ocx", "myserver"}; ///< 1 send only, 2 receive only
inline constexpr SettingKey IconName{"ocx", "LOGONA"};
inline constexpr SettingKey ComponentVersion{"ocx", "Ver"};
inline constexpr SettingKey LibraryName{"ocx", "Quillon"};
inline constexpr SettingKey WorkerServerName{"ocx", "Tarvex"};
inline constexpr SettingKey SendOnce{"ocx", "SendOnce"};

inline constexpr SettingKey SendValidity{"UserSet", "CloseMobileCanRev"};
inline constexpr SettingKey Caption{"ltdname", "caption"};

inline constexpr SettingKey SoundErr{"Sound", "SoundErr"};
inline constexpr SettingKey SoundInMsg{"Sound", "InMsg"};
inline constexpr SettingKey SoundLimit{"Sound", "limit_sound"};

inline constexpr SettingKey SendIn{"Pull", "sendin"};
inline constexpr SettingKey SendEnd{"Pull", "sendend"};
inline constexpr SettingKey JustTm{"Pull", "JustTm"};

inline constexpr SettingKey AutoConnect{"AUTOC", "AUTOC"};
inline constexpr SettingKey AutoMinimise{"AUTOC", "Auto_Min"};
inline constexpr SettingKey AutoOpenSet{"AUTOC", "AutoOpenSet"};
inline constexpr SettingKey SetErrMsgCount{"AUTOC", "SetErrMsgCount"};
inline constexpr SettingKey CloseConfirm{"AUTOC", "CloseConfirm"};
inline constexpr SettingKey SaveReport{"AUTOC", "report"};
inline constexpr SettingKey ClosePassword{"AUTOC", "Need_Ps"};
inline constexpr SettingKey AutoHangUp{"AUTOC", "AutoHandup"};
inline constexpr SettingKey AutoStart{"AUTOC", "AutoSys"};
inline constexpr SettingKey AtMostOnce{"AUTOC", "AtMostOnce"};
inline constexpr SettingKey ClaimTimeout{"AUTOC", "ClaimTimeout"};
/// Minutes the oldest due row may wait before the run log says why no device takes it.
inline constexpr SettingKey WaitWarning{"AUTOC", "WaitWarning"};

} // namespace keys

} // namespace lonvera::server
