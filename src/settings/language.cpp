#include "settings/language.h"

#include <array>

#include "settings/ini_file.h"
#include "settings/paths.h"

namespace zd573::settings {
namespace {

// Keys and texts are the program's own, byte for byte: "&&" shows one '&' on
// a control, and the odd spellings are what users and translators know.
constexpr std::array kTexts = std::to_array<TextEntry>({
    // Main window
    {"STR_MAINPAGE_APPNAME", "ZD-573 Utility"},
    {"STR_MAINPAGE_STR1", "Device Information"},
    {"STR_MAINPAGE_STR2", "Contacts && Message"},
    {"STR_MAINPAGE_STR3", "GPRS Parameter"},
    {"STR_MAINPAGE_STR4", "Ringing && Alarm"},
    {"STR_MAINPAGE_STR5", "Logger"},
    {"STR_MAINPAGE_STR6", "Settings"},
    {"STR_MAINPAGE_STR8", "Settings"},
    {"STR_MAINPAGE_DEVICE1", "Search Device..."},
    {"STR_MAINPAGE_DEVICE2", "IMEI: %s"},
    {"STR_MAINPAGE_DEVICE3", "Reading Setting ..."},
    {"STR_MAINPAGE_DEVICE4", "Read Setting Correct"},
    {"STR_MAINPAGE_DEVICE5", "Read Setting  Failure"},
    {"STR_MAINPAGE_DEVICE6", "Password Correct"},
    {"STR_MAINPAGE_DEVICE7", "Password Error"},
    {"STR_MAINPAGE_DEVICE8", "No Device"},
    {"STR_MAINPAGE_CONNECT", "Login"},
    {"STR_MAINPAGE_DISCONNECT", "  Loginout"},
    {"STR_MAINPAGE_DEVICEGONE", "The tracker was unplugged or changed. Log in again to go on."},
    {"STR_MAINPAGE_PORTBUSY", "The port is busy (another program has it open); retrying ..."},
    {"STR_MAINPAGE_READPROGRESS", "%d of %d settings read"},
    {"STR_MAINPAGE_READGONE", "The tracker went away during the read: %1 of %2 settings read."},
    {"STR_MAINPAGE_READSTALLED", "The tracker stopped answering during the read: %1 of %2 settings read."},
    {"STR_GLOBAL_CHANGE", "Change"},
    {"STR_GLOBAL_SHOWPASSWORD", "Show password"},
    // Shared by the pages
    {"STR_GLOBAL_MENU", "Menu"},
    {"STR_GLOBAL_APPLY", "Apply"},
    {"STR_GLOBAL_ON", "ON"},
    {"STR_GLOBAL_OFF", "OFF"},
    {"STR_GLOBAL_CANCEL", "Cancel"},
    {"STR_GLOBAL_CONFIRM", "Confirm"},
    {"STR_GLOBAL_WRITING", "Writing %d of %d"},
    {"STR_GLOBAL_WRITTEN", "Settings written to the tracker"},
    {"STR_GLOBAL_MINIMISE", "Minimise"},
    {"STR_GLOBAL_CLOSE", "Close"},
    {"STR_GLOBAL_ABOUT", "ZD-573 Utility. Copyright (C) the ZD-573 Utility authors. All rights reserved."},
    // Device information page
    {"STR_DEVICEPAGE_STR1", "Device IMEI:"},
    {"STR_DEVICEPAGE_STR2", "Device Name:"},
    {"STR_DEVICEPAGE_STR3", "Time Zone:"},
    {"STR_DEVICEPAGE_STR4", "Daylight Saving:"},
    {"STR_DEVICEPAGE_STR5", "Language:"},
    {"STR_DEVICEPAGE_STR6", "Device Phone Number:"},
    {"STR_DEVICEPAGE_STR7", "Time Format:"},
    {"STR_DEVICEPAGE_STR8", "Date Format:"},
    {"STR_DEVICEPAGE_STR9", "AutoKey Locks:"},
    {"STR_DEVICEPAGE_STR10", "Command and Software Password:"},
    {"STR_DEVICEPAGE_STR11", "(Max 15byte)"},
    {"STR_DEVICEPAGE_STR12", "SIM Card PIN Code:"},
    {"STR_DEVICEPAGE_DATEFORMAT1", "mm-dd-yy"},
    {"STR_DEVICEPAGE_DATEFORMAT2", "dd-mm-yy"},
    {"STR_DEVICEPAGE_DATEFORMAT3", "yy-mm-dd"},
    {"STR_DEVICEPAGE_DATEFORMAT4", "mm.dd.yy"},
    {"STR_DEVICEPAGE_DATEFORMAT5", "dd.mm.yy"},
    {"STR_DEVICEPAGE_DATEFORMAT6", "yy.mm.dd"},
    {"STR_DEVICEPAGE_TIMEFORMAT1", "12 Hours"},
    {"STR_DEVICEPAGE_TIMEFORMAT2", "24 Hours"},
    {"STR_DEVICEPAGE_LANGUAGE1", "English"},
    {"STR_DEVICEPAGE_CHANGEPASSWORD", "Change Password"},
    {"STR_DEVICEPAGE_ABOUT", "about us \"Device\" information"},
    {"STR_DEVICEPAGE_NAMEFAILED", "The device name could not be saved"},
    // Contacts and messages page
    {"STR_MSGSPAGE_STRSMS1", "Emergency Message"},
    {"STR_MSGSPAGE_STRSMS2", "SMS Report"},
    {"STR_MSGSPAGE_STRSMS3", "Name"},
    {"STR_MSGSPAGE_STRSMS4", "Phone Numbers"},
    {"STR_MSGSPAGE_STRSMS5", "Phone Numbers"},
    {"STR_MSGSPAGE_STRSMS6", "Report Interval:"},
    {"STR_MSGSPAGE_STRSMS7", "SMS Format:"},
    {"STR_MSGSPAGE_STRMSG1", "Name"},
    {"STR_MSGSPAGE_STRMSG2", "Name"},
    {"STR_MSGSPAGE_STRMSG3", "Phone Numbers"},
    {"STR_MSGSPAGE_STRMSG4", "Phone Numbers"},
    {"STR_MSGSPAGE_SMSFORMATS1", "Engineer Format"},
    {"STR_MSGSPAGE_SMSFORMATS2", "Text Format"},
    {"STR_MSGSPAGE_CONTACTS", "Contacts"},
    {"STR_MSGSPAGE_SMS", "SMS Message"},
    {"STR_MSGSPAGE_UP", "Move up"},
    {"STR_MSGSPAGE_DOWN", "Move down"},
    {"STR_MSGPAGE_ABOUT", "about us \"Contacts && Send Message Setting\" information"},
    // GPRS page
    {"STR_GPRSPAGE_STR1", "GPRS APN:"},
    {"STR_GPRSPAGE_STR2", "GPRS User Name:"},
    {"STR_GPRSPAGE_STR3", "GPRS Password:"},
    {"STR_GPRSPAGE_STR4", "DNS 1:"},
    {"STR_GPRSPAGE_STR5", "DNS 2:"},
    {"STR_GPRSPAGE_STR6", "IP:"},
    {"STR_GPRSPAGE_STR7", "Port:"},
    {"STR_GPRSPAGE_STR8", "Host/Port Settings:"},
    {"STR_GPRSPAGE_ABOUT", "about us \"GPRSxxxxx\" information"},
    // Ringing and alarm page
    {"STR_RINGPAGE_STR1", "Ringtone:"},
    {"STR_RINGPAGE_STR2", "Vibrate and ring:"},
    {"STR_RINGPAGE_STR3", "Ringing Volume:"},
    {"STR_RINGPAGE_STR4", "Alam"},
    {"STR_RINGPAGE_STR5", "Mon."},
    {"STR_RINGPAGE_STR6", "Tue."},
    {"STR_RINGPAGE_STR7", "Wed."},
    {"STR_RINGPAGE_STR8", "Thu."},
    {"STR_RINGPAGE_STR9", "Fri."},
    {"STR_RINGPAGE_STR10", "Sat."},
    {"STR_RINGPAGE_STR11", "Sun."},
    {"STR_RINGPAGE_STR12", "Melody"},
    {"STR_RINGPAGE_STR13", "Time"},
    {"STR_RINGPAGE_ALARM1", "Off"},
    {"STR_RINGPAGE_ALARM2", "One-time"},
    {"STR_RINGPAGE_ALARM3", "Daily"},
    {"STR_RINGPAGE_ALARM4", "Recurrence rule"},
    {"STR_RINGPAGE_VOL1", "Low"},
    {"STR_RINGPAGE_VOL2", "Medium"},
    {"STR_RINGPAGE_VOL3", "High"},
    {"STR_RINGPAGE_VOL4", "Max"},  // the loudest setting, above "High"
    {"STR_RINGPAGE_VIBRATING1", "Vibrate and ring"},
    {"STR_RINGPAGE_VIBRATING2", "Ring only"},
    {"STR_RINGPAGE_VIBRATING3", "Vibrating only"},
    {"STR_RINGPAGE_VIBRATING4", "Mute"},
    {"STR_RINGPAGE_PLAY", "Play"},
    {"STR_RINGPAGE_STOP", "Stop"},
    {"STR_RINGPAGE_ABOUT", "about us \"Ring tone && Clock Alarm\" information"},
    // Logger page
    {"STR_LOGGERPAGE_STR1", "GPS Data Log Interval:"},
    {"STR_LOGGERPAGE_STR2", "Sec."},
    {"STR_LOGGERPAGE_STR3", "Data log Export to:"},
    {"STR_LOGGERPAGE_STR4", "PS:GPS Data Log starts will continue to use of electricity."},
    {"STR_LOGGERPAGE_STR5", "Drop no-fix data:"},
    {"STR_LOGGERPAGE_FORMAT1", "CSV"},
    {"STR_LOGGERPAGE_FORMAT2", "KML"},
    {"STR_LOGGERPAGE_FORMAT3", "GPX"},
    {"STR_LOGGERPAGE_WRITTEN", "%d records written to"},  // above the file name, under the track preview
    {"STR_LOGGERPAGE_EXPORT", "Export"},
    {"STR_LOGGERPAGE_DELETEDATALOG", "Delete Date Log"},
    {"STR_LOGGERPAGE_ABOUT", "about us \"Logger\" information"},
    {"STR_LOGGERPAGE_CANCELLED", "Download cancelled"},
    {"STR_LOGGERPAGE_EXPORTPART", "Export the %1 records that arrived? The file will hold only part of the log."},
    {"STR_LOGGERPAGE_PARTIAL", "Only part of the log was exported: %1 of %2 records."},
    {"STR_LOGGERPAGE_NOTAFILE", "%s is not a regular file."},
    {"STR_LOGGERPAGE_PROGRESS", "Download progress"},
    {"STR_LOGGERPAGE_COUNT", "%1 of %2 records"},
    {"STR_LOGGERPAGE_TIMELEFT", "about %1 left"},
    // Login page
    {"STR_LOGINPAGE_STR1", "Login"},
    {"STR_LOGINPAGE_STR2", "Password:"},
    {"STR_LOGINPAGE_STR3", "(Default Password:4071)"},
    {"STR_LOGINPAGE_STR4", "Cancel"},
    {"STR_LOGINPAGE_STR5", "Login"},
    {"STR_LOGINPAGE_WRONG", "Wrong password"},
    // Password page
    {"STR_PASSWORDPAGE_STR1", "Change Password"},
    {"STR_PASSWORDPAGE_STR2", "New Password:"},
    {"STR_PASSWORDPAGE_STR3", "Comfin Password:"},
    {"STR_PASSWORDPAGE_STR4", "(Max 15 Byte)"},
    {"STR_PASSWORDPAGE_STR5", "Cancel"},
    {"STR_PASSWORDPAGE_STR6", "Apply"},
    {"STR_PASSWORDPAGE_STR7", "Error"},
    {"STR_PASSWORDPAGE_DIFFER", "The two entries differ."},
    {"STR_PASSWORDPAGE_CHANGED", "Password changed"},
    // Settings page
    {"STR_SETUPPAGE_OPTIONS", "Options"},
    {"STR_SETUPPAGE_ABOUT", "About"},
    {"STR_SETUPPAGE_VERSION", "Version %s"},
    {"STR_SETUPPAGE_CODEPAGEFAILED", "The text encoding could not be saved"},
    {"STR_SETUPPAGE_LANGUAGE", "Language:"},
    {"STR_SETUPPAGE_CODEPAGE", "Device text:"},  // the encoding of texts sent to the tracker
    // The language itself: its name in its own words, its locale (Qt's texts, dates, the device text)
    {"STR_GLOBAL_LANGUAGENAME", "English"},
    {"STR_GLOBAL_LOCALE", "en"},
    // Message boxes
    {"STR_GLOBAL_ERROR", "Error"},
    {"STR_GLOBAL_INFO", "Info"},
    {"STR_GLOBAL_IMAGEFAILED", "Failure loading image"},
    {"STR_GLOBAL_FILENOTREAD", "%1"},
    {"STR_GLOBAL_CLOSEWHILEWRITING",
     "The %1 settings are still being written to the tracker.\\n\\nYes: finish writing, then close.\\n"
     "No: stop now and leave the %1 page half-written."},
    // Values that cannot be stored or sent (%1 the field's name)
    {"STR_GLOBAL_BADCHARACTER", "The %1 contains %2, which the tracker's sentences cannot carry."},
    {"STR_GLOBAL_CHARCOMMA", "a comma (\",\")"},
    {"STR_GLOBAL_CHAREQUALS", "an equals sign (\"=\")"},
    {"STR_GLOBAL_CHARRETURN", "a carriage return"},
    {"STR_GLOBAL_CHARLINEBREAK", "a line break"},
    {"STR_GLOBAL_CHARNUL", "a NUL character"},
    {"STR_GLOBAL_CHAREND", "the sentence end \"*..!\""},
    // A secret's refusal names no character of it
    {"STR_GLOBAL_SECRETBADCHARACTER", "The %1 holds a character the tracker's sentences cannot carry (a comma, an equals sign, a line break, a NUL or the sentence end \"*..!\")."},
    {"STR_GLOBAL_NOTENCODABLE", "The %1 contains \"%2\" (%3), which the device text encoding %4 cannot write. Choose another encoding in Settings."},
    {"STR_GLOBAL_SECRETNOTENCODABLE", "The %1 holds a character the device text encoding %2 cannot write. Choose another encoding in Settings."},
    // A text read from the tracker that its encoding does not decode (%2 the encoding, %3 how many more)
    {"STR_GLOBAL_NOTCLEAN", "The %1 does not read cleanly in %2. Choose the tracker's text encoding in Settings."},
    {"STR_GLOBAL_NOTCLEANMORE", "The %1 and %3 more texts do not read cleanly in %2. Choose the tracker's text encoding in Settings."},
    {"STR_GLOBAL_TOOLONG", "The %1 is too long: %2 bytes in the device text encoding, at most %3."},
    {"STR_GLOBAL_OUTOFRANGE", "The %1 is out of range: %2 (allowed %3 to %4)."},
    {"STR_GLOBAL_PORTOUTOFRANGE", "The %1 is out of range: %2 (allowed 80 or 1024 to 65535)."},
    {"STR_GLOBAL_TOOLARGE", "The %1 is too large: %2 (at most %3)."},
    {"STR_GLOBAL_NOTANUMBER", "The %1 must be a whole number, not \"%2\"."},
    // The port, the line and files (%1: %2 is a place and what went wrong there)
    {"STR_GLOBAL_OPENPORTFAILED", "Unable to open COM-port"},
    {"STR_GLOBAL_NOPORTNAME", "No port name"},
    {"STR_GLOBAL_NOTSERIALPORT", "not a serial port"},
    {"STR_GLOBAL_PORTINUSE", "in use by another program"},
    {"STR_GLOBAL_PORTNOTOPEN", "The port is not open"},
    {"STR_GLOBAL_PORTDISCONNECTED", "The port was disconnected"},
    {"STR_GLOBAL_PORTLEASED", "The tracker is busy with another task; try again when it is done."},
    {"STR_GLOBAL_WRITETIMEOUT", "Write timed out"},
    {"STR_GLOBAL_STOPPED", "Stopped before every sentence was written"},
    {"STR_GLOBAL_WRITEFAILED", "Writing the %1 settings failed after %2 of %3 sentences"},
    {"STR_GLOBAL_WRITEFAILEDONE", "Writing the %1 settings failed after %2 of %3 sentence"},
    {"STR_GLOBAL_NOTHREAD", "Unable to create thread"},
    {"STR_GLOBAL_ADVICEPERMISSION", "You may not use this serial port. Add yourself to the dialout group (sudo usermod -aG dialout $USER, then log in again) or install the udev rule 60-zd573.rules."},
    {"STR_GLOBAL_ADVICEBUSY", "Another program is using the port: close it (a second copy of this utility, a terminal program, or ModemManager) and try again."},
    {"STR_GLOBAL_ADVICEPLUGGEDIN", "Check that the tracker is plugged in and switched on."},
    {"STR_GLOBAL_PLACEREASON", "%1: %2"},
    {"STR_GLOBAL_CANNOTREAD", "Cannot read %1"},
    {"STR_GLOBAL_CANNOTWRITE", "Cannot write %1: %2"},
    // The system's reasons
    {"STR_GLOBAL_ENOENT", "No such file or directory"},
    {"STR_GLOBAL_EACCES", "Permission denied"},
    {"STR_GLOBAL_EPERM", "Operation not permitted"},
    {"STR_GLOBAL_EBUSY", "Device or resource busy"},
    {"STR_GLOBAL_EAGAIN", "Resource temporarily unavailable"},
    {"STR_GLOBAL_EIO", "Input/output error"},
    {"STR_GLOBAL_ENXIO", "No such device or address"},
    {"STR_GLOBAL_ENODEV", "No such device"},
    {"STR_GLOBAL_ENOSPC", "No space left on device"},
    {"STR_GLOBAL_EROFS", "Read-only file system"},
    {"STR_GLOBAL_EISDIR", "Is a directory"},
    {"STR_GLOBAL_ENOTDIR", "Not a directory"},
    {"STR_GLOBAL_EINVAL", "Invalid argument"},
    // Device information page: its settings and fields in messages
    {"STR_DEVICEPAGE_SETTINGS", "device information"},
    {"STR_DEVICEPAGE_FIELDIMEI", "IMEI"},
    {"STR_DEVICEPAGE_FIELDPIN", "SIM card PIN code"},
    {"STR_DEVICEPAGE_FIELDPHONE", "device phone number"},
    {"STR_DEVICEPAGE_FIELDDATEFORMAT", "date format"},
    {"STR_DEVICEPAGE_FIELDTIMEFORMAT", "time format"},
    {"STR_DEVICEPAGE_FIELDDAYLIGHT", "daylight saving"},
    {"STR_DEVICEPAGE_FIELDKEYLOCK", "automatic key lock"},
    {"STR_DEVICEPAGE_FIELDTIMEZONE", "time zone"},
    // Contacts and messages page
    {"STR_MSGSPAGE_SETTINGS", "contacts and messages"},
    {"STR_MSGSPAGE_FIELDNAME", "name of contact %1"},
    {"STR_MSGSPAGE_FIELDNUMBER", "phone number of contact %1"},
    {"STR_MSGSPAGE_FIELDEMERGENCY", "emergency number %1"},
    {"STR_MSGSPAGE_FIELDREPORTNUMBER", "SMS report number"},
    {"STR_MSGSPAGE_FIELDINTERVAL", "report interval"},
    {"STR_MSGSPAGE_FIELDFORMAT", "SMS format"},
    // GPRS page
    {"STR_GPRSPAGE_SETTINGS", "GPRS"},
    {"STR_GPRSPAGE_FIELDAPN", "GPRS APN"},
    {"STR_GPRSPAGE_FIELDUSER", "GPRS user name"},
    {"STR_GPRSPAGE_FIELDPASSWORD", "GPRS password"},
    {"STR_GPRSPAGE_FIELDDNS1", "DNS 1"},
    {"STR_GPRSPAGE_FIELDDNS2", "DNS 2"},
    {"STR_GPRSPAGE_FIELDIP", "server IP address"},
    {"STR_GPRSPAGE_FIELDPORT", "server port"},
    {"STR_GPRSPAGE_FIELDIP2", "second server address"},
    {"STR_GPRSPAGE_FIELDPORT2", "second server port"},
    // Ringing and alarm page
    {"STR_RINGPAGE_SETTINGS", "ringing and alarms"},
    {"STR_RINGPAGE_FIELDVIBRATE", "vibrate mode"},
    {"STR_RINGPAGE_FIELDVOLUME", "ringing volume"},
    {"STR_RINGPAGE_FIELDRINGTONE", "ring tone"},
    {"STR_RINGPAGE_FIELDMELODIES", "number of melodies"},
    {"STR_RINGPAGE_FIELDALARMMELODY", "alarm %1 melody"},
    {"STR_RINGPAGE_FIELDALARMTIME", "alarm %1 time"},
    {"STR_RINGPAGE_FIELDALARMMODE", "alarm %1 mode"},
    {"STR_RINGPAGE_FIELDALARMDAYS", "alarm %1 weekdays"},
    // Logger page: fields, the download's end and the export
    {"STR_LOGGERPAGE_SETTINGS", "logger"},
    {"STR_LOGGERPAGE_FIELDINTERVAL", "logging interval"},
    {"STR_LOGGERPAGE_FIELDLOGGING", "logging"},
    {"STR_LOGGERPAGE_REQUESTFAILED", "Unable to send the download request to the tracker"},
    {"STR_LOGGERPAGE_NODATA", "No data in device."},
    {"STR_LOGGERPAGE_ABORT", "Abort download process."},
    {"STR_LOGGERPAGE_TIMEOUT", "Download timeout."},
    {"STR_LOGGERPAGE_ARRIVED", "%1 of %2 records arrived."},
    {"STR_LOGGERPAGE_NOCOUNT", "No record count arrived."},
    {"STR_LOGGERPAGE_WENTSILENT", "The tracker went silent before the count it announced was reached."},
    {"STR_LOGGERPAGE_STOPPED", "The tracker stopped sending records before the count it announced was reached."},
    {"STR_LOGGERPAGE_DAMAGED", "%1 of %2 records came in damaged packets and were left out."},
    {"STR_LOGGERPAGE_SURPLUS", "%1 records arrived, more than the %2 the tracker announced; all were kept."},
    {"STR_LOGGERPAGE_RAWFAILED", "Cannot create %s"},
    {"STR_LOGGERPAGE_CANTGENERATE", "Can't generate output file."},
    {"STR_LOGGERPAGE_READONLY", "%s is read-only."},
    {"STR_LOGGERPAGE_CANTOPENRAW", "Can't open raw data file."},
    {"STR_LOGGERPAGE_RAWDATAERROR", "Error data in raw file."},
    {"STR_LOGGERPAGE_NOVALIDDATA", "No valid GPS data in raw file."},
    {"STR_LOGGERPAGE_DELETEASK",
     "Delete every record of the GPS data log in the tracker? They cannot be recovered."},
    {"STR_LOGGERPAGE_DELETESENT", "The tracker was told to delete its GPS data log."},
    {"STR_LOGGERPAGE_FILTER1", "Csv file(*.csv)"},
    {"STR_LOGGERPAGE_FILTER2", "Google file(*.kml)"},
    {"STR_LOGGERPAGE_FILTER3", "GPX file(*.gpx)"},
    // Password page
    {"STR_PASSWORDPAGE_SETTINGS", "password"},
    {"STR_PASSWORDPAGE_FIELDPASSWORD", "password"},
    // Settings page: the device text encodings by code page
    {"STR_SETUPPAGE_CODEPAGE874", "Thai (874)"},
    {"STR_SETUPPAGE_CODEPAGE932", "Japanese Shift-JIS (932)"},
    {"STR_SETUPPAGE_CODEPAGE936", "Simplified Chinese GBK (936)"},
    {"STR_SETUPPAGE_CODEPAGE949", "Korean (949)"},
    {"STR_SETUPPAGE_CODEPAGE950", "Traditional Chinese Big5 (950)"},
    {"STR_SETUPPAGE_CODEPAGE1250", "Central European (1250)"},
    {"STR_SETUPPAGE_CODEPAGE1251", "Cyrillic (1251)"},
    {"STR_SETUPPAGE_CODEPAGE1252", "Western European (1252)"},
    {"STR_SETUPPAGE_CODEPAGE1253", "Greek (1253)"},
    {"STR_SETUPPAGE_CODEPAGE1254", "Turkish (1254)"},
    {"STR_SETUPPAGE_CODEPAGE1255", "Hebrew (1255)"},
    {"STR_SETUPPAGE_CODEPAGE1256", "Arabic (1256)"},
    {"STR_SETUPPAGE_CODEPAGE1257", "Baltic (1257)"},
    {"STR_SETUPPAGE_CODEPAGE1258", "Vietnamese (1258)"},
    // Settings files: save, load, review, set up many
    {"STR_PROFILE_SAVE", "Save to file…"},
    {"STR_PROFILE_LOAD", "Load from file…"},
    {"STR_PROFILE_UNDO", "Undo last write"},
    {"STR_PROFILE_UNDONONE", "There is no backup of the tracker with IMEI %1 yet: one is saved before every write to it."},
    {"STR_PROFILE_BACKUPFAILED", "Nothing was sent: the tracker's settings could not be backed up first.\\n\\n%1"},
    {"STR_PROFILE_SAVETITLE", "Save to file"},
    {"STR_PROFILE_SAVEWHAT", "What to save:"},
    {"STR_PROFILE_SAVESHARED", "The shared settings: a profile for other trackers"},
    {"STR_PROFILE_SAVESHAREDNOTE", "Without the IMEI, the password, the SIM PIN and the tracker's own phone number."},
    {"STR_PROFILE_SAVEALL", "Everything: a backup of this tracker"},
    {"STR_PROFILE_SAVEALLNOTE", "With its IMEI, password, SIM PIN and phone number."},
    {"STR_PROFILE_SAVESECRETS", "It holds secrets (%1): only you can read the file."},
    {"STR_PROFILE_SAVEBUTTON", "Save"},
    {"STR_PROFILE_FILTER", "Settings files (*.ini)"},
    {"STR_PROFILE_SAVED", "%1 settings saved to %2"},
    {"STR_PROFILE_LINEBREAKS", "A line break cannot be kept in the file: it was saved as a blank."},
    {"STR_PROFILE_CANTWRITE", "Cannot write %1: %2"},
    {"STR_PROFILE_REPLACEREADONLY", "%1 is read-only. Replace it?"},
    {"STR_PROFILE_LOADTITLE", "Load from file"},
    {"STR_PROFILE_CANTLOAD", "Cannot load %1:\\n%2"},
    {"STR_PROFILE_ATLINE", "Line %1: %2"},
    {"STR_PROFILE_REFUSED", "%1 holds a value its page would refuse; nothing was sent.\\n\\n%2"},
    {"STR_PROFILE_OTHERIMEI", "%1 was saved from the tracker with IMEI %2, not from this one (%3). Load it anyway?"},
    {"STR_PROFILE_FILE", "File: %1"},
    {"STR_PROFILE_TRACKER", "What the file changes on %1 (IMEI %2):"},
    {"STR_PROFILE_SAME", "The tracker already holds every value of this file."},
    {"STR_PROFILE_COLFIELD", "Setting"},
    {"STR_PROFILE_COLTRACKER", "On the tracker"},
    {"STR_PROFILE_COLFILE", "In the file"},
    {"STR_PROFILE_DIFFERENCES", "Differences, by page"},
    {"STR_PROFILE_EMPTY", "(empty)"},
    {"STR_PROFILE_HIDDEN", "(hidden)"},
    {"STR_PROFILE_NODAY", "none"},
    {"STR_PROFILE_CHECKED", "checked"},
    {"STR_PROFILE_NOTCHECKED", "not checked"},
    {"STR_PROFILE_EACH", "For each tracker plugged in"},
    {"STR_PROFILE_PASSWORD", "The trackers' password:"},
    {"STR_PROFILE_REPORT", "Report file:"},
    {"STR_PROFILE_CHOOSE", "Choose…"},
    {"STR_PROFILE_CHOOSEREPORT", "Choose the report file"},
    {"STR_PROFILE_REPORTFILTER", "CSV files (*.csv)"},
    {"STR_PROFILE_NOREPORT", "Name the report file first."},
    {"STR_PROFILE_EMPTYPASSWORD", "The file sets an empty password: anyone who plugs the tracker in could read and change its settings. Send it?"},
    {"STR_PROFILE_NOTHING", "Nothing to write: the tracker holds these values."},
    {"STR_PROFILE_VERIFIED", "Written and verified: %1"},
    {"STR_PROFILE_UNTAKEN", "Written (%1), but the tracker did not take: %2"},
    {"STR_PROFILE_UNTAKENFIELD", "%1 (sent %2, it holds %3)"},
    {"STR_PROFILE_READBACKFAILED", "Written (%1), but reading it back failed: %2"},
    {"STR_PROFILE_WRITTENBEFORE", "Written before that: %1"},
    {"STR_PROFILE_COLIMEI", "IMEI"},
    {"STR_PROFILE_COLNAME", "Name"},
    {"STR_PROFILE_COLRESULT", "Result"},
    {"STR_PROFILE_DONELIST", "Trackers set up"},
    {"STR_PROFILE_STOP", "Stop"},
    {"STR_PROFILE_WAITING", "Waiting for a tracker: plug in the next one."},
    {"STR_PROFILE_WORKING", "Setting up the tracker %1…"},
    {"STR_PROFILE_UNPLUG", "Unplug it and plug in the next tracker."},
    {"STR_PROFILE_UNPLUGGED", "Unplugged before it was set up"},
    {"STR_PROFILE_STOPPED", "Stopped before it was finished"},
    {"STR_PROFILE_DONE", "Done: %1"},
    {"STR_PROFILE_FAILED", "Failed: %1"},
    {"STR_PROFILE_SUMMARY", "Trackers set up: %1, failed: %2. The report is %3"},
    {"STR_PROFILE_COUNT", "(%1 set up, %2 failed)"},
    {"STR_PROFILE_TWICE", "%1 is given twice, on lines %2 and %3: which one is meant cannot be known."},
    {"STR_PROFILE_TWOIMEIS", "Line %1: IMEI and B2 name different trackers."},
    {"STR_PROFILE_UNKNOWNKEY", "Line %1: %2 is not a setting of the tracker."},
    {"STR_PROFILE_NOSECTION", "The file holds no [DEVICE] section: it is no settings file."},
    {"STR_PROFILE_ESCAPED", "Code page %1 cannot show some bytes of %2: they were kept as \\xHH in the file and go back as they are."},
    {"STR_PROFILE_REPORTTORN", "%1 ended in half a row, left by a run that could not finish it: that row was ended first."},
    {"STR_PROFILE_REPORTMOVED", "%1 was deleted, replaced or moved: the rows go on in %2."},
    {"STR_PROFILE_BADSECTION", "Line %1: the section name has no closing ]."},
    {"STR_PROFILE_READONLYKEY", "Line %1: %2 is set by the tracker and cannot be written."},
    {"STR_PROFILE_NOTAFILE", "It is not a regular file."},
    {"STR_PROFILE_TOOLARGE", "It is larger than %1 KiB: no settings file is that large."},
    {"STR_PROFILE_CHECKING", "Written %1 of %2: reading them back…"},
    {"STR_GLOBAL_NOTUTF8", "%1: the text is not UTF-8. Save the file as UTF-8."},
    // Track view, its map settings, and the archive of downloads
    {"STR_MAINPAGE_TRACK", "View a track…"},
    {"STR_TRACKVIEW_TITLE", "Track"},
    {"STR_TRACKVIEW_ABOUT", "Where the tracker has been"},
    {"STR_TRACKVIEW_MAP", "Map"},
    {"STR_TRACKVIEW_MAPKEYS", "Plus and minus zoom, the arrow keys move the map, 0 fits the track."},
    {"STR_TRACKVIEW_SPEED", "Speed"},
    {"STR_TRACKVIEW_KMH", "%1 km/h"},
    {"STR_TRACKVIEW_METRES", "%1 m"},
    {"STR_TRACKVIEW_KM", "%1 km"},
    {"STR_TRACKVIEW_START", "Start"},
    {"STR_TRACKVIEW_END", "End"},
    {"STR_TRACKVIEW_NOTILE", "No map here"},
    {"STR_TRACKVIEW_MAPOFF", "Map off"},
    {"STR_TRACKVIEW_ZOOMIN", "Zoom in"},
    {"STR_TRACKVIEW_ZOOMOUT", "Zoom out"},
    {"STR_TRACKVIEW_FIT", "Fit to track"},
    {"STR_TRACKVIEW_CHARTNAME", "Chart"},
    {"STR_TRACKVIEW_PERCENT", "%1 %"},
    {"STR_TRACKVIEW_NOPOINTS", "No points to show"},
    {"STR_TRACKVIEW_DAY", "Day:"},
    {"STR_TRACKVIEW_POINTS", "Points:"},
    {"STR_TRACKVIEW_FIXES", "Fixes:"},
    {"STR_TRACKVIEW_DISTANCE", "Distance:"},
    {"STR_TRACKVIEW_MOVINGTIME", "Moving time:"},
    {"STR_TRACKVIEW_AVERAGE", "Average moving speed:"},
    {"STR_TRACKVIEW_MAXSPEED", "Maximum speed:"},
    {"STR_TRACKVIEW_STOPS", "Stops:"},
    {"STR_TRACKVIEW_STOPLIST", "Stops"},
    {"STR_TRACKVIEW_CHART", "Chart:"},
    {"STR_TRACKVIEW_ALTITUDE", "Altitude"},
    {"STR_TRACKVIEW_BATTERY", "Battery"},
    {"STR_TRACKVIEW_JUMPS", "Leave out jumps"},
    {"STR_TRACKVIEW_JUMPSTIP", "Fixes more than 300 km/h away from the one before, or with an HDOP over 10"},
    {"STR_TRACKVIEW_MAPON", "Show the map"},
    {"STR_TRACKVIEW_MAPSETTINGS", "Map settings…"},
    {"STR_TRACKVIEW_OPEN", "Open file…"},
    {"STR_TRACKVIEW_FILTER", "Tracks (*.log *.csv *.gpx);;All files (*)"},
    {"STR_TRACKVIEW_READING", "Reading %1…"},
    {"STR_TRACKVIEW_FIGURING", "Figuring the track…"},
    {"STR_TRACKVIEW_ALLDAYS", "All days (%1)"},
    {"STR_TRACKVIEW_NOJUMPS", "No jumps found."},
    {"STR_TRACKVIEW_JUMPSLEFT", "Left out as jumps: %1"},
    {"STR_TRACKVIEW_MINUTES", "%1 min"},
    {"STR_TRACKVIEW_HOURS", "%1 h %2 min"},
    {"STR_TRACKVIEW_SATELLITES", "%1 satellites"},
    {"STR_TRACKVIEW_HDOP", "HDOP %1"},
    {"STR_TRACKVIEW_NOFIX", "no fix"},
    {"STR_TRACKVIEW_BATTERYIS", "battery %1 %"},
    {"STR_TRACKVIEW_MAPASK", "Show a map under the track? Its pictures come from %1, which then learns which area you look at. Nothing is fetched unless you say Yes."},
    {"STR_MAPSETTINGS_TITLE", "Map settings"},
    {"STR_MAPSETTINGS_ADDRESS", "Tile address:"},
    {"STR_MAPSETTINGS_ATTRIBUTION", "Shown on the map:"},
    {"STR_MAPSETTINGS_CACHE", "Tile cache (MB):"},
    {"STR_MAPSETTINGS_NOTE", "{z}, {x} and {y} stand for a tile's zoom, column and row. Tiles are fetched only while the map is on, and only those in view."},
    {"STR_MAPSETTINGS_DEFAULTS", "Defaults"},
    {"STR_MAPSETTINGS_BADADDRESS", "The tile address must begin with http://, https:// or file:// and hold {z}, {x} and {y}."},
    {"STR_SETUPPAGE_ARCHIVE", "Keep every download in the archive"},
    {"STR_SETUPPAGE_ARCHIVES", "Archive:"},
    {"STR_SETUPPAGE_VIEWARCHIVE", "View"},
    {"STR_SETUPPAGE_DELETEARCHIVE", "Delete…"},
    {"STR_SETUPPAGE_NOARCHIVE", "No archive yet"},
    {"STR_SETUPPAGE_DELETEARCHIVEASK", "Delete every download kept in the archive of %1? It cannot be recovered."},
    {"STR_SETUPPAGE_CANNOTDELETE", "Cannot delete %1: %2"},
    {"STR_LOGGERPAGE_VIEW", "View track"},
    {"STR_LOGGERPAGE_ARCHIVEFAILED", "The download could not be kept in the archive: %1"},
    {"STR_LOGGERPAGE_ARCHIVED", "Kept in the archive: %1 new records"},
});

// Replaces the first "%<conversion>" with `replacement` and turns "%%" into
// '%'; every other '%' sequence, a second "%s" included, is copied as written.
std::string Substitute(std::string_view format, char conversion, std::string_view replacement) {
  std::string out;
  out.reserve(format.size() + replacement.size());
  bool replaced = false;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && next == '%') {
      out.push_back('%');
      ++i;
    } else if (format[i] == '%' && next == conversion && !replaced) {
      out.append(replacement);
      replaced = true;
      ++i;
    } else {
      out.push_back(format[i]);
    }
  }
  return out;
}

}  // namespace

std::span<const TextEntry> TextTable() { return kTexts; }

std::string_view BuiltInText(std::string_view key) {
  for (const TextEntry& e : kTexts) {
    if (e.key == key) return e.english;
  }
  return {};
}

std::string FamilyKey(std::string_view family, int index) {
  const std::string number = std::to_string(index);
  std::string key(family);
  const auto at = key.find("%d");
  if (at == std::string::npos) return key + number;
  return key.replace(at, 2, number);
}

namespace {
std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}
}  // namespace

TextLookup& TextLookup::Load() {
  auto entries = std::make_shared<std::unordered_map<std::string, std::string>>();
  for (auto& [key, value] : IniFile(file_).ReadSection(language_)) entries->emplace(LowerAscii(key), std::move(value));
  loaded_ = std::move(entries);
  return *this;
}

std::string TextLookup::Text(std::string_view key, std::string_view english) const {
  if (!loaded_) return IniFile(file_).Read(language_, key, english);
  const auto it = loaded_->find(LowerAscii(key));
  return it == loaded_->end() ? std::string(english) : it->second;
}

std::string TextLookup::Text(std::string_view key) const {
  const std::string_view english = BuiltInText(key);
  return Text(key, english.empty() ? key : english);
}

std::string TextLookup::FamilyText(std::string_view family, int index) const {
  return Text(FamilyKey(family, index));
}

std::vector<std::string> TextLookup::Languages() const { return IniFile(file_).SectionNames(); }

std::vector<std::string> RefusedFiles(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> refusals;
  for (const auto& file : files)
    if (Status usable = IniFile(file).Check(); !usable)
      refusals.push_back(usable.error() + ": it is not read; the defaults are used");
  return refusals;
}

std::vector<std::string> RefusedStartupFiles() { return RefusedFiles({SystemIniPath(), LanguagesPath()}); }

std::string FormatWithText(std::string_view format, std::string_view text) {
  return Substitute(format, 's', text);
}

std::string FormatWithNumber(std::string_view format, long long number) {
  return Substitute(format, 'd', std::to_string(number));
}

std::string ExpandLineBreakEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (text[i] == '\\' && (next == 'n' || next == 'r')) {
      out.push_back(next == 'n' ? '\n' : '\r');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace zd573::settings
