/* String-table texts of the Tools menu's commands (CompanionTools.rc). */
#ifndef OSTREL_COMPANION_STRINGS_H
#define OSTREL_COMPANION_STRINGS_H

#define IDS_ANNALIX_NOT_INSTALLED 130
#define TEXT_ANNALIX_NOT_INSTALLED "Corvane Annalix is not installed on this computer.\n\nAnnalix gathers the outcome of every creation run, scheduled or not, in one event store, shows it in its viewer and can run tasks of its own after each run. Install Annalix to use this command."

#endif
