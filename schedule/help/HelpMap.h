/* The one topic id of the scheduling help: every page of Scheduler's wizard and Rostery's
   Help button ask for it. */
#define IDH_SCHEDULING 1015
