/* Names and control ids of the Engine's dialog templates (dialogs.rc). Read by the resource compiler as
   well as by C++, so plain macros only. */
#ifndef TOV_RESOURCES_DIALOG_IDS_H
#define TOV_RESOURCES_DIALOG_IDS_H

/* The error dialog: ERRORMSG (one button) and ERRORMSGB (Continue and Exit). */
#define IDC_ERR_HEADING      100   /* "Error:" */
#define IDC_ERR_SCRIPT       101   /* the main script's file name */
#define IDC_ERR_MESSAGE      102   /* "NNNN:  message" */
#define IDC_ERR_LINE_INFO    110   /* "On line 3 of x.tov" */
#define IDC_ERR_ROUTINE_INFO 111   /* "In Routine "f"" */
#define IDC_ERR_FAILING_LINE 120   /* read-only text of the failing line */
#define IDC_ERR_VERSION      130   /* the host's caption and the Engine's version */
#define IDC_ERR_MORE_INFO    131   /* shows the additional information */
#define IDC_ERR_TRACEBACK    132   /* opens STACKINFO */
#define IDC_ERR_SUPPORT      140   /* the tech-support page, ends the dialog */
#define IDC_ERR_ICON         150   /* the stop icon */

/* The traceback dialog STACKINFO. */
#define IDC_TRACE_LIST       100

/* The line prompts LINEASK and PSWDASK. */
#define IDC_ASK_PROMPT       100
#define IDC_ASK_EDIT         101

/* The confirmation before a file is replaced, FILEWARN: texts, then the buttons in ReplaceButton order
   (Cancel is IDCANCEL). */
#define IDC_REPLACE_LABEL       100   /* "Replace file:" */
#define IDC_REPLACE_TARGET      101
#define IDC_REPLACE_TARGET_TIME 102
#define IDC_WITH_LABEL          103   /* "with file:" */
#define IDC_REPLACE_SOURCE      104
#define IDC_REPLACE_SOURCE_TIME 105
#define IDC_REPLACE_FIRST_BUTTON 200  /* Overwrite; 201 Overwrite All ... 206 Use Older All */

#endif
