// The program keeps nothing between runs, and Qt must not either: its file dialog would keep
// its history, last folder and view in QSettings ("QtProject.conf" in the user's configuration
// directory) and take them up again at its next showing.
#pragma once

// Points every QSettings store of Qt's at a place where no file can be, so that nothing is
// read from or written to the configuration directories. Call it before the first dialog.
void StoreNoSettings();
