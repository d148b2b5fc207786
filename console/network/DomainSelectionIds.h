/* Resource numbers of the Select Domain dialog (DomainSelection.rc). */
#ifndef OSTREL_DOMAIN_SELECTION_IDS_H
#define OSTREL_DOMAIN_SELECTION_IDS_H

#define IDD_SELECT_DOMAIN 15003
#define IDB_DOMAIN 159
#define IDC_DOMAIN_NAME 104
#define IDC_DOMAIN_LIST 106
#define IDC_DOMAIN_LIST_LABEL 107
#define IDC_DOMAIN_HELP 9

#endif
