/* Topic ids of Salvora's help: a dialog's or page's template id + 0x20000, the main
   window's own topic (0x20000 + 128, shown as the contents), the Select Domain dialog's
   context, and Restavo's main dialog. */
#define IDH_MAIN_WINDOW 131200
#define IDH_CREATE_ERD 131178
#define IDH_CREATION_PROGRESS 131179
#define IDH_OPTIONS_COMMON 131177
#define IDH_OPTIONS_LOG 131581
#define IDH_SELECT_DOMAIN 1010
#define IDH_RESTAVO 131209
