/* Resource numbers of the computer chooser (ComputerChooser.rc). */
#ifndef OSTREL_COMPUTER_CHOOSER_IDS_H
#define OSTREL_COMPUTER_CHOOSER_IDS_H

#define IDD_CHOOSE_COMPUTER 130
#define IDC_CHOSEN_NAME 1131
#define IDC_COMPUTER_LIST 1132

#endif
