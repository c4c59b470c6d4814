/* Tokvin - resource identifiers, shared by tokvin.rc and the program code. */
#ifndef TOKVIN_RESOURCE_H
#define TOKVIN_RESOURCE_H

/* Dialogs */
#define IDD_TOKVIN      100

/* Icons */
#define IDI_TOKVIN      900

/* Group boxes and decoration */
#define IDC_GRP_DELAY   101
#define IDC_GRP_TEMPO   102
#define IDC_HEAD_NOTE   103
#define IDC_LBL_NOTE1   104
#define IDC_LBL_NOTE2   105
#define IDC_LBL_NOTE4   106
#define IDC_LBL_NOTE8   107
#define IDC_LBL_NOTE16  108
#define IDC_LBL_NOTE32  109
#define IDC_HEAD_TRIOLE 110
#define IDC_LBL_TRIP2   111
#define IDC_LBL_TRIP4   112
#define IDC_LBL_TRIP8   113
#define IDC_LBL_TRIP16  114
#define IDC_TRACKMARK   125
#define IDC_RULE        129
#define IDC_GRP_CLICK   140

/* Delay table value cells (not in row order: see the triplet block) */
#define TRIPLET2        115
#define NOTE1           116
#define NOTE2           117
#define NOTE4           118
#define NOTE8           119
#define NOTE16          120
#define NOTE32          121
#define TRIPLET4        122
#define TRIPLET8        123
#define TRIPLET16       124

/* Tempo input */
#define TEMPOEDIT       127

/* Click switch and sound source */
#define RAD_AUDIO       130
#define BCLICK          136
#define RAD_MIDI        138
#define RAD_BEEP        139

#endif
