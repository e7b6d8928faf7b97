// The built-in default texts of the numbered messages.  The table is shared
// by every program of the system, so numbers that this utility never shows
// have no entry here and read as empty texts.  Texts are printf formats:
// callers pass the arguments in the order the text expects (tests/support/
// msg_test.cc keeps the argument signature of every text that has
// conversions).  The catalogue "pelo.cat" is generated from this table at
// build time (tools/mkcatsrc), so it is the one place a text is written.
#include "support/msgtable.h"

#include <iterator>

namespace pelo {

const MsgDefault msgDefaults[] = {
    // catalogue
    {1, "The message catalog is unavailable. See README.nls_dbcs to setup NLSPATH and LANG.\n"},
    // database session
    {108, "0010-061 Database error, %1$d (%2$s), has occurred.\n"
          "\n"
          "         If the error is a result of an invalid column name,\n"
          "         then check the syntax of the command.  If you cannot\n"
          "         resolve the problem, contact the family administrator.\n"},
    // run driver
    {109, "0010-062 The database cannot be initialized.\n"
          "\n"
          "         To solve the database problem, contact the family\n"
          "         administrator.\n"},
    // operating system failures of the support layer
    {110, "0010-063 Error, %1$s, occurred when the PELO server software attempted\n"
          "         to process the %2$s() function.\n"
          "\n"
          "         To solve the operating system problem, contact the system\n"
          "         administrator or the family administrator.\n"},
    {111, "0010-064 An error occurred when the PELO server software tried to obtain\n"
          "         memory to service your request.\n"
          "\n"
          "         To solve the memory problem, contact the system\n"
          "         administrator or the family administrator.\n"},
    {426, "0010-350 The error (%1$s) occurred when the PELO server software\n"
          "         processed function %2$s() on the file with path\n"
          "         name %3$s.\n"
          "\n"
          "         To solve the operating system problem, contact the system\n"
          "         administrator or the family administrator.\n"},
    // database session
    {926, "0010-651 A database error occurred and the database\n"
          "         rollback failed in recovering from this problem.\n"
          "\n"
          "         To solve the database problem, contact the family\n"
          "         administrator.\n"},
    {1035, "0010-734 The environment variable ORACLE_PASS is not set.\n"},
    // run driver
    {1078, "0010-753 PELO_VCTYPE must be sccs, SCCS, pvcs or PVCS.\n"},
    // user identity
    {1146, "0010-802 The getpwuid() operating system subroutine failed when the\n"
           "         PELO client software or the PELO server software tried to obtain\n"
           "         the user's login information.\n"
           "\n"
           "         Contact the system administrator for further problem resolution.\n"},
    // multibyte text
    {1150, "0010-804 An error occurred while converting a multibyte character\n"
           "         string.  The characters may have been encoded in a different\n"
           "         locale.\n"},
    // command runner
    {1294, "peloarchive or pelorestore error has occurred"},
    {1295, "0010-900 A pipe for stdin cannot be created.  The program can not continue.\n"},
    {1296, "0010-901 A pipe for stdout cannot be created.  The program can not continue.\n"},
    {1297, "0010-902 A pipe for stderr cannot be created.  The program can not continue.\n"},
    {1298, "0010-903 Another process cannot be created at this time.  The program can not\n"
           "         continue.\n"},
    {1299, "0010-904 The stderr pipe can not be read.  The program cannot continue.\n"},
    {1300, "0010-905 The stdout pipe can not be read.  The program cannot continue.\n"},
    // dialogs
    {1304, "\n"
           "Select one of the following options:\n"
           "\n"
           "    1.  Check archive prerequisites and estimate the storage required\n"
           "        to perform an archive.\n"
           "\n"
           "    2.  Perform an archive.\n"
           "\n"
           "    3.  Exit.\n"
           "\n"
           "Enter selection: "},
    {1305, "\n"
           "\n"
           "Select one of the following options:\n"
           "\n"
           "    1.  Check prerequisites and estimate the storage required to archive\n"
           "        levels of a release up to and including a specified level.\n"
           "\n"
           "    2.  Check prerequisites and estimate the storage required to archive\n"
           "        one or more releases.\n"
           "\n"
           "    3.  Exit.\n"
           "\n"
           "Enter selection: "},
    {1306, "\n"
           "\n"
           "Select one of the following archive options:\n"
           "\n"
           "    1.  Archive levels of a release up to and including a specified level.\n"
           "\n"
           "    2.  Archive one or more releases.\n"
           "\n"
           "    3.  Exit.\n"
           "\n"
           "Enter selection: "},
    {1307, "\n"
           "0010-906 The option you selected is not valid.\n"},
    {1308, "Enter the level name: "},
    {1309, "Enter the release name (eg. rel_1.1): "},
    {1310, "Enter the release names (eg. rel_1.1 rel_1.2): "},
    {1311, "\n"
           "\n"
           "Do you want the archive objects removed from the PELO family ?\n"
           "\n"
           "    1.  No. Do not remove the archived objects from the PELO family.\n"
           "\n"
           "    2.  Yes. Remove the archived objects from the PELO family.\n"
           "        Warnings:\n"
           "        - Deleting objects and files will increase the time for\n"
           "          peloarchive to compete by as much as 100 percent.\n"
           "        - If peloarchive is interrupted during deletion of objects,\n"
           "          the family will need to be restored from a backup.\n"
           "\n"
           "Enter selection: "},
    {1312, "\n"
           "\n"
           "Do you want the archive objects stored:\n"
           "\n"
           "    1.  In a local file system ?\n"
           "\n"
           "    2.  On media in an external device (eg. tape device) ?\n"
           "\n"
           "Enter selection: "},
    {1313, "\n"
           "Enter the full name of the file system (eg. %1$s/archive): "},
    {1314, "\n"
           "Enter the full name of the raw device (eg. /dev/rmt1 or /dev/rfd0 ): "},
    {1315, "\n"
           "0010-907 The specified file system, %1$s,\n"
           "         does not exist or is not accessible.\n"},
    {1316, "\n"
           "0010-908 The specified file system, %1$s, is not empty.\n"
           "         This file system must be empty in order for it to be\n"
           "         used as the destination for the archived objects.\n"},
    // prerequisite checks
    {1317, "\n"
           "0010-909 The PELO family, %1$s, has not been upgraded to\n"
           "         Version 2, Release 1.  The %2$s program cannot\n"
           "         continue until the PELO family is upgraded.\n"},
    {1318, "\n"
           "0010-910 Level %1$s does not exist for release %2$s.\n"},
    {1319, "\n"
           "0010-911 Release %1$s does not exist.\n"},
    {1320, "\n"
           "0010-912 Level %1$s is not in the complete state.\n"},
    {1321, "\n"
           "0010-913 Files are currently checked out for release %1$s.\n"},
    {1322, "\n"
           "0010-914 Tracks exist for release %1$s that are not in the\n"
           "         complete state.  Every track of a release must be in the\n"
           "         complete state before the release can be archived.\n"},
    {1323, "\n"
           "0010-915 Level %1$s associated with release %2$s is\n"
           "         in the %3$s state.  Every level to be archived must be\n"
           "         in the complete state.\n"},
    {1324, "\n"
           "0010-916 A track exists for level %1$s and release %2$s with a\n"
           "         state of %3$s.  Every track of the levels to be archived\n"
           "         must be in the complete state.\n"},
    {1325, "\n"
           "0010-917 Sizing records exist in the ready and/or notReady states for\n"
           "         release %1$s.  Every sizing record of the release must be\n"
           "         accepted or rejected before the release can be archived.\n"},
    {1326, "\n"
           "0010-918 The pelo family contains defects or features that are in\n"
           "         the design, size or review state and that have sizing\n"
           "         records in the accept or reject state for release %1$s.\n"
           "         These defects and features must leave those states\n"
           "         before the release can be archived.\n"},
    // run driver and the progress lines of every phase
    {1327, "\n"
           "0010-919 The %1$s program cannot determine the database currently\n"
           "         being used by the PELO family.  Verify that ONLY ONE of\n"
           "         the following environment variables is set and that it\n"
           "         is set correctly:\n"
           "               ORACLE_HOME, INFORMIXDIR, SYBASE or VQL_HOME\n"},
    {1328, "\n"
           "Connecting to the database.\n"},
    {1329, "  Working ."},
    {1330, "Checking that all archive prerequisites have been satisfied.\n"},
    {1331, "."},
    {1332, "Archive prerequisites have been verified.\n"},
    {1333, ".. complete.\n"},
    {1334, "Generating the database populate file.\n"},
    {1335, "Database populate file has been created successfully.\n"},
    {1336, "Archiving the level maps.\n"},
    {1337, "The map for each level has been archived successfully.\n"},
    {1338, "Archiving the PELO family's configuration files.\n"},
    {1339, "The PELO family's configuration files have been archived successfully.\n"},
    {1340, "Archiving the PELO family's version control files.\n"},
    {1341, "The PELO family's version control files have been archived successfully.\n"},
    {1343, "Removing the archived objects.\n"
           "\n"
           "Warning: If peloarchive is interrupted while deleting objects it will\n"
           "be necessary to restore the family from backup.\n"},
    {1344, "Disconnecting from the database.\n"},
    {1345, "Archive complete.\n"},
    // dialogs
    {1346, "\n"
           "0010-920 The name, %s, is longer than the maximum allowable\n"
           "         length of %d.\n"},
    // run driver and the progress lines of every phase
    {1347, "Committing the database transactions.\n"},
    {1348, "\n"
           "0010-921 The peloarchive program cannot continue.  The PELO server\n"
           "         daemons for the PELO family, %s, are running in regular\n"
           "         mode.  To keep the server daemons running during an archive\n"
           "         operation, they must be stopped and restarted in maintenance\n"
           "         mode.\n"},
    // work files
    {1349, "\n"
           "0010-922 The peloarchive program cannot continue.  The database populate\n"
           "         file, %s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1350, "\n"
           "0010-923 The peloarchive program cannot continue.  The database populate\n"
           "         file, %s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    {1351, "\n"
           "0010-924 The peloarchive program cannot continue.  The archive information\n"
           "         file, %s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1352, "\n"
           "0010-925 The peloarchive program cannot continue.  The archive information\n"
           "         file, %s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    {1353, "\n"
           "0010-926 The peloarchive program cannot continue.  The archived users\n"
           "         file, %s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1354, "\n"
           "0010-927 The peloarchive program cannot continue.  The archived users\n"
           "         file, %s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    {1355, "\n"
           "0010-928 The peloarchive program cannot continue.  The file that contains\n"
           "         the list of file deltas to clean up, %s,\n"
           "         cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1356, "\n"
           "0010-929 The peloarchive program cannot continue.  The file that contains\n"
           "         the list of file deltas to clean up, %s,\n"
           "         cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    {1357, "\n"
           "0010-930 The peloarchive program cannot continue.  The file that\n"
           "         contains the list of files to cpio to a raw device,\n"
           "         %1$s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the PELO family account's home directory.\n"},
    {1358, "\n"
           "0010-931 The peloarchive program cannot continue.  The file that\n"
           "         contains the list of files to cpio to a raw device,\n"
           "         %1$s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the PELO family account's home\n"
           "         directory.\n"},
    // clean-up
    {1359, "\n"
           "0010-932 The %1$s program cannot remove the level maps in the\n"
           "         %2$s/maps file system.  The following error was\n"
           "         reported:\n"
           "\n"
           "         %3$s\n"
           "\n"
           "         These maps and the /map directory in this file system should\n"
           "         be manually erased.\n"},
    {1360, "\n"
           "0010-933 The %1$s program cannot remove the authority.ld, interest.ld,\n"
           "         config.ld, cfgrelproc.ld and cfgcomproc.ld files in the\n"
           "         %2$s file system.\n"
           "         The following error was reported:\n"
           "\n"
           "         %3$s\n"
           "\n"
           "         These files should be manually erased.\n"},
    {1361, "\n"
           "0010-934 The %1$s program cannot remove the configurable field files\n"
           "         in the %2$s/configField file system.  The following\n"
           "         error was reported:\n"
           "\n"
           "         %3$s\n"
           "\n"
           "         These files and the /configField directory in this file system\n"
           "         should be manually erased.\n"},
    {1362, "\n"
           "0010-935 The %1$s program cannot remove the version control files\n"
           "         in the %2$s/vc file system.  The following error\n"
           "         was reported:\n"
           "\n"
           "         %3$s\n"
           "\n"
           "         These files and the /vc directory in this file system should\n"
           "         be manually erased.\n"},
    // dialogs
    {1363, "\n"
           "0010-936 The file system name, %s,\n"
           "         is longer than the maximum allowable length of %d.\n"},
    {1364, "\n"
           "0010-937 The device name, %s, is longer than the maximum\n"
           "         allowable length of %d.\n"},
    // dialogs and version-control files
    {1366, "\n"
           "0010-939 An error occurred when the peloarchive program attempted to\n"
           "         process the %1$s function.  Verify that the user running the\n"
           "         peloarchive program has access to read and write to the\n"
           "         %2$s file system.\n"
           "\n"},
    // allocation in the archive phases
    {1367, "\n"
           "0010-940 An error occurred when the %1$s program tried to obtain\n"
           "         memory.  All resources have been consumed.\n"
           "\n"},
    // level maps and configuration files
    {1368, "\n"
           "0010-941 The %1$s program cannot complete successfully.  It cannot\n"
           "         copy the map for level %2$s associated with release %3$s\n"
           "         to the %4$s file system.  The following error\n"
           "         was reported:\n"
           "         %5$s\n"
           "\n"},
    {1369, "\n"
           "0010-942 The %1$s program cannot estimate the amount of storage\n"
           "         required for the archive.  The level map, %2$s,\n"
           "         cannot be accessed.\n"
           "\n"},
    {1370, "\n"
           "0010-943 The %1$s program cannot complete successfully.\n"
           "         The maps directory cannot be created relative to the\n"
           "         %2$s file system.\n"
           "\n"},
    {1371, "\n"
           "0010-944 The %1$s program cannot complete successfully.  The\n"
           "         release directory cannot be created relative to the\n"
           "         %2$s/maps file system.\n"
           "\n"},
    {1372, "\n"
           "0010-945 The %1$s program cannot complete successfully.  The\n"
           "         file %2$s cannot be copied to the \n"
           "         %3$s file system.\n"
           "         The following error was reported:\n"
           "         %4$s\n"
           "\n"},
    {1373, "\n"
           "0010-946 The peloarchive program cannot estimate the amount of\n"
           "         storage required for the archive because.  The PELO family's\n"
           "         configuration file %1$s cannot be accessed.\n"},
    // version-control files
    {1374, "\n"
           "0010-947 The %1$s program cannot complete successfully.\n"
           "         The version control directory, %2$s,\n"
           "         cannot be created.\n"
           "\n"},
    // prerequisite checks
    {1375, "\n"
           "0010-948 The peloarchive program cannot complete successfully.  Track\n"
           "         %1$s is also a member of a level that is not being\n"
           "         archived.  Every level that holds the track must be\n"
           "         archived with it.\n"},
    // run driver and clean-up
    {1376, "\n"
           "0010-949 The peloarchive program failed to delete the objects from the\n"
           "         database and the version control successfully.  To maintain\n"
           "         the integrity of the database and version control system,\n"
           "         recover these entities from your backup tapes and restart\n"
           "         the archive.\n"
           "\n"},
    // run driver, check-only run
    {1377, "The peloarchive program is checking prerequisites and estimating the amount\n"
           "of space required to perform an archive.\n"},
    {1378, "Estimating the amount of local file system space required to create the\n"
           "database populate file.\n"},
    {1379, "Estimating the amount of local file system space required to archive the\n"
           "level maps.\n"},
    {1380, "Estimating the amount of local file system space required to archive the\n"
           "PELO family's configuration files.\n"},
    {1381, "Estimating the amount of local file system space required to archive the\n"
           "PELO family's version control files.\n"},
    // dialogs
    {1382, "\n"
           "0010-950 You must enter one or more release names.\n"},
    {1383, "\n"
           "The peloarchive program requires a working directory when archiving\n"
           "to a device.  Select one of the following options:\n"
           "\n"
           "    1.  Use the PELO family's home directory as the working directory.\n"
           "    2.  User another local file system as the working directory.\n"
           "\n"
           "Enter selection: "},
    {1384, "\n"
           "Enter the name of the working directory: "},
    // prerequisite checks
    {1385, "\n"
           "0010-951 One or more tracks exist for release %1$s with a state\n"
           "         of %2$s that were committed without a level and are to be\n"
           "         archived.  These tracks must be in the complete state.\n"},
    // version-control files
    {1386, "\n"
           "0010-952 The peloarchive program cannot complete successfully.\n"
           "         The version control files cannot be copied to the\n"
           "         %1$s file system.\n"
           "         The following error was reported:\n"
           "         %2$s\n"
           "\n"},
    {1387, "\n"
           "0010-953 The peloarchive program cannot estimate the amount of storage\n"
           "         required for the archive.  The version control file, %1$s,\n"
           "         cannot be accessed.\n"
           "\n"},
    // populate script
    {1388, "\n"
           "0010-954 The peloarchive program cannot complete successfully.  It cannot\n"
           "         find the Informix SQL product in the $INFORMIXDIR/bin directory.\n"
           "         The peloarchive programs requires the existence of one of the\n"
           "         following Informix SQL products:\n"
           "           isql, isqlrf or isql(rf)\n"},
    // prerequisite checks
    {1389, "\n"
           "0010-955 One or more tracks exist for release %1$s with a state\n"
           "         of %2$s that were committed without a level after the\n"
           "         archived levels.  These tracks must be in the complete\n"
           "         state.\n"},
    // archive semaphore
    {1390, "\n"
           "0010-956 The peloarchive program failed to set the semaphore.\n"},
    {1391, "\n"
           "0010-957 The peloarchive program cannot continue.  Another peloarchive\n"
           "         program is currently running.\n"},
    // run driver, check-only run
    {1392, "\n"
           "The peloarchive program requires approximately %6.2f MB of file system\n"
           "space (assuming that defect and feature remarks are on average 4K each and\n"
           "file version remarks are on average 1K each).\n"},
    // archive semaphore
    {1393, "\n"
           "         If you have verified that no pelod or peloarchive processes are\n"
           "         running, use 'ipcs' to check for semaphores that have not been\n"
           "         cleared.  If processes are stopped and semaphores are cleared,\n"
           "         semaphore checking can be overriden with 'peloarchive -F'.\n"},
    {1394, "\n"
           "Warning: peloarchive using force option (-F).  No semaphore checking will\n"
           "be performed.  Errors may occur if pelod or peloarchive processes are\n"
           "running.\n"},
    // cpio transfer
    {1430, "\n"
           "0010-974 The pelorestore program cannot continue.  It cannot switch\n"
           "         to the %1$s directory.  The following error occurred:\n"
           "         %2$s.\n"
           "\n"},
    // dialogs
    {1433, "\n"
           "0010-977 The peloarchive program cannot continue.  A file called\n"
           "         %1$s already exists.\n"
           "         This file must be renamed or deleted before the\n"
           "         peloarchive program can continue.\n"},
    // work files
    {1435, "\n"
           "0010-979 The %1$s program cannot continue.  It failed to flush\n"
           "         the file, %2$s.\n"},
    {1436, "\n"
           "0010-980 The %1$s program cannot continue.  It failed to close\n"
           "         the file, %2$s.\n"},
    // termination signals and fatal database errors
    {1438, "\n"
           "0010-981 The %1$s program is cleaning up and exiting as a\n"
           "         result of receiving a termination signal or database errors.\n"},
    // archive information file
    {1439, "Archive log from PELO family :"},
    {1440, "---------------------------------------- "},
    {1441, "Date of archive            : "},
    {1442, "PELO server software level : "},
    {1443, "Database                   : "},
    {1444, "Version Control System     : "},
    {1445, "Data Deleted After Archive?: "},
    {1446, "Archived to device         : "},
    {1447, "Archived to file system    : "},
    {1448, "Type of archive            : release"},
    {1449, "Type of archive            : level"},
    {1450, "  release(s) archived      : "},
    {1451, "  up to and including level: "},
    {1452, "Level Maps Archived\n"
           "------------------- "},
    {1453, "Family Configuration Files Archived\n"
           "----------------------------------- "},
    {1454, "Version Control Files Archived\n"
           "------------------------------ "},
    {1455, "PELO Objects Archived\n"
           "--------------------- "},
    {1456, "Yes\n"},
    {1457, "No\n"},
    // work files
    {1458, "\n"
           "0010-982 The peloarchive program cannot continue.  It cannot write\n"
           "         to the %1$s file.\n"
           "         Verify that the file system that contains this file is not\n"
           "         full.\n"},
    // removal of archived objects
    {1464, "\n"
           "0010-986 The peloarchive program was not able to delete a file\n"
           "         from the version control directory.  The following error:\n"
           "         occurred:\n"
           "         %1$s\n"},
    // version-control clean-up lists
    {1465, "Version Control Files To Be Cleaned\n"
           "-----------------------------------\n"},
    // restore
    {1466, "\n"
           "0010-987 The pelorestore program cannot continue.  The\n"
           "         PELO server level for the restore operation is not\n"
           "         the same as that from the archive operation.  The\n"
           "         PELO server level used during the archive operation\n"
           "         is %1$s.\n"
           "\n"},
    // version-control clean-up lists
    {1471, "\n"
           "0010-992 The peloarchive program cannot continue.  The\n"
           "         version control file, %1$s,\n"
           "         cannot be cleaned up successfully.  The following\n"
           "         error occurred:\n"
           "         %2$s.\n"},
    // dialogs
    {1473, "\n"
           "0010-994 The value you specified, %1$s, is invalid\n"
           "         for the %2$s program.  All directory names\n"
           "         must be entered in full and must not contain\n"
           "         shell-interpretable characters.\n"},
    // removal of archived objects
    {1474, "\n"
           "0010-995 The level map directory, %1$s, could not\n"
           "         be removed.  The following error occurred:\n"
           "         %2$s.\n"
           "         This directory should be removed manually.\n"},
    // dialogs
    {1475, "\n"
           "0010-996 The device name, %1$s, is invalid.\n"
           "         You must specify a raw device.\n"},
    // version-control files
    {1477, "\n"
           "0010-998 The %1$s program cannot complete successfully.  The\n"
           "         permissions of the %2$s directory\n"
           "         cannot be changed.\n"
           "\n"},
    // work files
    {1483, "\n"
           "0011-000 The peloarchive program cannot continue.  The file,\n"
           "         %1$s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the PELO family account's home directory.\n"},
    {1484, "\n"
           "0011-001 The peloarchive program cannot continue.  The file,\n"
           "         %1$s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the PELO family account's home\n"
           "         directory.\n"},
    // command runner
    {1485, "0011-002 The program cannot continue.  The wait call failed.\n"},
    // version-control clean-up lists
    {1486, "The following version control files have been archived and can be removed:\n"
           "\n"},
    // cpio transfer
    {1487, "\n"
           "The cpio program is now complete.\n"
           "\n"
           "Before continuing, inspect the results of the cpio program and\n"
           "select one of the following operations:\n"
           "\n"
           "    1.  Continue.\n"
           "    2.  Quit.\n"
           "\n"
           "Enter selection: "},
    {1488, "\n"
           "The cpio program is now complete and the peloarchive program\n"
           "is ready to remove the archived objects from the PELO environment.\n"
           "\n"
           "Before continuing, inspect the results of the cpio program and\n"
           "and select one of the following operations:\n"
           "\n"
           "    1.  Continue.\n"
           "    2.  Quit.\n"
           "\n"
           "Enter selection: "},
    // command runner
    {1489, "0011-003 The program cannot continue.  The child process returned\n"
           "         unexpectantly.\n"},
    // cpio transfer
    {1490, "Copying all PELO archive data to %1$s using the cpio program.\n"},
    // run driver, device archive
    {1494, "Determining which level maps are to be archived.\n"},
    {1495, "Determining the PELO family's configuration files that are to be archived.\n"},
    {1496, "Determining which version control files are to be archived.\n"},
    // work files
    {1512, "\n"
           "0011-015 The peloarchive program cannot continue.  The database load\n"
           "         file, %1$s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1513, "\n"
           "0011-016 The peloarchive program cannot continue.  The database load\n"
           "         file, %1$s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    {1514, "\n"
           "0011-017 The peloarchive program cannot continue.  The database export\n"
           "         file, %1$s, cannot be created.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         create files in the specified file system.\n"},
    {1515, "\n"
           "0011-018 The peloarchive program cannot continue.  The database export\n"
           "         file, %1$s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read and write files in the specified file system.\n"},
    // notes and versions export
    {1516, "Generating the database export file for the Notes and Versions tables.\n"},
    {1517, "Database export file has been created successfully.\n"},
    {1518, "0011-019 The peloarchive program cannot continue.  The database export\n"
           "         file, %1$s, cannot be created.\n"
           "\n"
           "         The following errors occurred:\n"
           "         %2$s\n"
           "\n"},
    // dialogs
    {1520, "\n"
           "\n"
           "You have selected to remove the archived objects from the PELO family.\n"
           "Please confirm your decision by selecting one of the following options:\n"
           "\n"
           "    1.  No. Do NOT remove the archived objects from the PELO family.\n"
           "\n"
           "    2.  Yes. Remove the archived objects from the PELO family.\n"
           "        Warnings:\n"
           "        - Deleting objects and files will increase the time for\n"
           "          peloarchive to compete by as much as 100 percent.\n"
           "        - If peloarchive is interrupted during deletion of objects,\n"
           "          the family will need to be restored from a backup.\n"
           "\n"
           "Enter selection: "},
    // run driver, database environment
    {1522, "\n"
           "0011-022 The %1$s program cannot continue.  The environment variable,\n"
           "         ORACLE_PASS, is not currently set.\n"},
    {1523, "\n"
           "0011-023 The %1$s program cannot continue.  The environment variable,\n"
           "         PELO_HOME, is not currently set.\n"},
    {1524, "\n"
           "0011-024 The %1$s program cannot continue.  The file,\n"
           "         %2$s, cannot be opened.\n"
           "\n"
           "         Verify that the user of the program has permission to\n"
           "         read the specified file.\n"},
    // prerequisite checks
    {1526, "\n"
           "0011-026 The peloarchive program cannot continue.  The file\n"
           "         %1$s associated with\n"
           "         release %2$s is checked out, and its version control\n"
           "         file is shared with release %3$s.  The file must be\n"
           "         checked in before the release can be archived.\n"},
    // object selection
    {1527, "  Processing PELO Releases and their associated objects.\n"},
    {1528, "  Processing PELO Levels and their associated objects.\n"},
    {1529, "  Processing PELO Tracks and their associated objects.\n"},
    {1530, "  Processing PELO Files.\n"},
    {1531, "  Processing PELO Paths.\n"},
    {1532, "  Processing PELO Versions.\n"},
    {1533, "  Processing PELO Components.\n"},
    {1534, "  Processing PELO Users and their associated objects.\n"},
    // notes and versions export
    {1535, "0011-027 The %1$s program cannot continue.  The file,\n"
           "         %2$s was written with a length of 0.\n"
           "         Verify that the specified file system has enough\n"
           "         space to store the file.\n"},
    // run driver, database environment
    {1536, "\n"
           "0011-028 The %1$s program cannot continue.  The environment variable,\n"
           "         SYBASE_PASS, is not currently set.\n"},
    // populate script
    {1537, "\n"
           "0011-029 The peloarchive program cannot continue.  A value of the %1$s\n"
           "         row with %2$s has a line that starts with %3$s, which\n"
           "         the database product's tool would take as its own command\n"
           "         when it reads the database populate file.  Change the value\n"
           "         in the PELO family and run the archive again.\n"},
    // clean-up
    {1538, "\n"
           "Cleaning up files created by peloarchive.\n"},
    // version-control tools: the explanation 0010-992 gives when their
    // directory is not known
    {1539, "the PELO_VCBIN environment variable does not name the directory of\n"
           "         the version control tools"},
    {1540, "Releasing the peloarchive semaphore.\n"},
    // removal of archived objects
    {1541, "  Removing PELO Paths.\n"},
    {1542, "  Removing PELO Files and Versions...this may take some time.\n"},
    {1543, "  Removing PELO Levels and their associated objects.\n"},
    {1544, "  Removing PELO Releases and their associated objects.\n"},
    {1545, "  Removing PELO Tracks and their associated objects.\n"},
    {1546, "  Removing PELO Defects and their associated objects.\n"},
    {1547, "The version control files involved in the archive cannot be\n"
           "deleted because they are owned by the PVCS owner.  The file,\n"
           "%1$s, contains a list of\n"
           "files that can be manually removed.\n"},
    // cpio list
    {1548, "\n"
           "0011-040 The peloarchive program cannot continue.  The name of the\n"
           "         file %1$s holds a new-line, and the\n"
           "         cpio program reads the names of the files to copy one a line.\n"
           "         Archive to a local file system, or rename the release or level\n"
           "         in the PELO family and run the archive again.\n"},
    // binary versions
    {1634, "0011-106 An error occurred when the PELO server software tried to \n"
           "         get the file %s from the version control repository.\n"
           "         An invalid version number was received.\n"},
    {1635, "0011-107 An error occurred when the PELO server software tried to \n"
           "         get the file from the version control repository. The \n"
           "         server failed to merge the binary files, \n"
           "         %s and %s. \n"
           "\n"
           "         Contact the family administrator for assistance.\n"},
    // command runner
    {1669, "0011-153 The command Standard Output buffer overflowed.\n"
           "         There was too much output from the command:\n"
           "         %s\n"},
    {1670, "0011-154 The command Standard Error buffer overflowed.\n"
           "         There was too much error output from the command:\n"
           "         %s\n"},
    // binary versions
    {1671, "0011-155 binmerge could not allocate temporary memory.\n"
           "         It may be necessary to stop some processes or otherwise\n"
           "         reduce memory consumption before retrying.\n"},
    {1672, "0011-156 binmerge could not write to a temporary file.\n"
           "         It may be necessary to free disk space before retrying.\n"},
    {1673, "0011-157 binmerge could not open file %s.\n"
           "         It may be necessary to free disk space or inodes. It is also\n"
           "         possible that some versions of this file may be corrupted.\n"},
    {1674, "0011-158 binmerge detected a truncated data file:\n"
           "         %s.\n"
           "         It is likely that the current difference file is corrupt.\n"},
    // removal that did not finish, and the archive made durable before it
    {1700, "\n0012-001 The archive in %1$s holds every object\n"
           "         removed before the failure.  Keep it until the family is whole\n"
           "         again: the objects can be put back from it.\n"},
    // names and files that would lead outside the family or block the run
    {1701, "\n0012-002 The peloarchive program cannot continue.  The release or\n"
           "         level name \"%1$s\" cannot name a level map.\n"
           "         A release or level name must not be empty, \".\" or \"..\",\n"
           "         and must not hold a \"/\".\n"},
    {1702, "\n0012-003 The %1$s program cannot estimate the amount of storage\n"
           "         required for the archive.  The PELO family's file\n"
           "         %2$s cannot be used.\n"
           "         The following error was reported:\n"
           "         %3$s\n"
           "\n"},
    {1703, "\n0012-004 The %1$s program cannot complete successfully.  The\n"
           "         PELO family's file %2$s cannot be archived\n"
           "         to the %3$s device.\n"
           "         The following error was reported:\n"
           "         %4$s\n"
           "\n"},
    // a cpio run that did not write the archive
    {1704, "\n0012-005 The peloarchive program cannot continue.  The cpio program\n"
           "         did not write the archive to the %1$s device.\n"
           "         The following error was reported:\n"
           "         %2$s\n"
           "         Nothing has been removed from the PELO family.\n"},
    // a name that is not text, and a force option that meets a live run
    {1705, "\n0012-006 The name, %1$s, is not valid text in the\n"
           "         character set of the current locale.\n"},
    {1706, "\n0012-007 The peloarchive program cannot continue.  Another peloarchive\n"
           "         program, process %1$s, is currently running.  The force\n"
           "         option (-F) does not take the semaphore from a running\n"
           "         process.\n"},
    // a tool that failed without saying so
    {1707, "0012-008 The command ended with exit status %1$d"},
    // a command line refused before the run, one line on standard error
    {1708, "0012-009 %1$s: %2$s needs %3$s; see %1$s --help.\n"},
    // a run summary that could not be written
    {1709, "\n0012-010 The %1$s program could not write the run summary\n"
           "         %2$s:\n"
           "         %3$s\n"},
    {1710, "\n0012-011 The peloarchive program cannot continue.  It could not force\n"
           "         the archive in %1$s onto its medium:\n"
           "         %2$s.\n"
           "         Nothing has been removed from the PELO family.\n"},
    // the row copy, and a row removal would take that it does not hold
    {1711, "\n0012-012 The peloarchive program cannot continue.  The %1$s row\n"
           "         %2$s\n"
           "         is not in the row copy of the archive, %3$s.\n"
           "         It stays in the PELO family, and so do the rows that would\n"
           "         have been removed with it.\n"},
    {1712, "\n0012-013 The peloarchive program cannot continue.  The row copy of\n"
           "         the archive, %1$s, cannot be used.\n"
           "         The following error was reported:\n"
           "         %2$s\n"},
    // the archive read back before removal
    {1713, "\n0012-014 The file %1$s of the archive\n"
           "         cannot be read back:\n"
           "         %2$s.\n"},
    {1714, "\n0012-015 The file %1$s of the archive\n"
           "         does not read back as it was written.\n"
           "         Written:   %2$s bytes, SHA-256 %3$s\n"
           "         Read back: %4$s bytes, SHA-256 %5$s\n"},
    {1715, "\n0012-016 The peloarchive program cannot continue.  The archive in\n"
           "         %1$s does not read back as it was written.\n"
           "         Nothing has been removed from the PELO family, and the archive\n"
           "         is kept as it is.\n"},
    {1716, "\n0012-017 The peloarchive program cannot read the archive back from\n"
           "         the %1$s device to verify it:\n"
           "         %2$s.\n"
           "         A device that does not rewind, or that cannot be opened for\n"
           "         reading, is not read back.\n"
           "\n"
           "Do you want the archived objects removed from the PELO family without\n"
           "reading the archive back ?\n"
           "\n"
           "    1.  No. Do not remove the archived objects from the PELO family.\n"
           "\n"
           "    2.  Yes. Remove the archived objects from the PELO family.\n"
           "\n"
           "Enter selection: "},
    // a command line refused before the run, one line on standard error
    {1717, "0012-018 %1$s: %2$s is not an option of %1$s; see %1$s --help.\n"},
    {1718, "0012-019 %1$s: %2$s needs a value; see %1$s --help.\n"},
    {1719, "0012-020 %1$s: %2$s and %3$s cannot be given together; see %1$s --help.\n"},
    // putting back what the removal of an archive took (--restore)
    {1730, "Verifying the archive in %1$s before anything is put back.\n"},
    {1731, "\n0012-031 The peloarchive program cannot restore the archive in\n"
           "         %1$s.  It did not verify.  Nothing has been put back\n"
           "         into the PELO family.\n"},
    {1732, "Comparing the archive with the PELO family.\n"},
    {1733, "  conflict: %1$s %2$s: the PELO family holds this row with other values\n"},
    {1734, "  conflict: %1$s: the PELO family holds another file by that name\n"},
    {1735, "\n0012-035 The peloarchive program cannot restore the archive.\n"
           "         %1$d rows or files of the archive conflict with the PELO\n"
           "         family.  Nothing has been put back.\n"},
    {1736, "Putting back the level maps and version control files.\n"},
    {1737, "Putting back the rows.\n"},
    {1738, "  %1$s: %2$d rows, %3$d set back\n"},
    {1739, "  %1$s: %2$d files\n"},
    {1740, "peloarchive --restore: %1$s: %2$d rows put back, %3$d set back, %4$d files put back\n"},
    {1741, "peloarchive --restore: %1$s: dry run, nothing was changed; it would put back\n"
           "%2$d rows, set back %3$d and put back %4$d files\n"},
    {1742, "\n0012-043 The peloarchive program cannot restore the archive.  The file\n"
           "         %1$s\n"
           "         cannot be put back:\n"
           "         %2$s\n"},
    {1743, "\n0012-044 The peloarchive program cannot restore the archive.  The\n"
           "         %1$s row %2$s\n"
           "         of the row copy holds a text that is not UTF-8.\n"},
    {1744, "Reading the archive from %1$s.\n"},
    {1745, "The restore would put back:\n"},
};

const std::size_t msgDefaultsCount = std::size(msgDefaults);

}  // namespace pelo
