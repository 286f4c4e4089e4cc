// Resource, control and command identifiers of the main program. Ids only: shared by the
// .rc files and the C++ code.
#pragma once

// ---- icons and images ---------------------------------------------------------
#define IDI_APP_SMALL 101  // small icon, tray icon, about box
#define IDI_APP_LARGE 102
#define IDI_DOCUMENT 103  // archive files in Explorer (the associations' DefaultIcon)
#define IDP_TB_EXTRACT 110  // toolbar PNGs (resource type "PNG")
#define IDP_TB_TEST 111
#define IDP_TB_VIEW 112
#define IDP_TB_DELETE 113
#define IDP_TB_FIND 114
#define IDP_TB_INFO 115
#define IDP_TB_ADD 118
#define IDP_TB_WIZARD 119
#define IDP_TB_COMMENT 120
#define IDP_TB_SFX 121

// ---- dialogs ------------------------------------------------------------------
#define IDD_SEARCH 201
#define IDD_WIZARD 202
#define IDD_CONVERT 203
#define IDD_SETTINGS 204
#define IDD_COMMENT 205
#define IDD_SFX_BUILDER 206
#define IDD_INPUT_TEXT 207
#define IDD_VDIR_PICKER 208
#define IDD_SFX_RUN 209
#define IDD_ENTRY_PICKER 210
#define IDD_PACK 211
#define IDD_NEW_PASSWORD 212
#define IDD_HEADER_EDITOR 213
#define IDD_PASSWORD_PROMPT 214
#define IDD_ABOUT 215

// ---- small dialog controls ------------------------------------------------------
#define IDC_INPUT_PROMPT 4000
#define IDC_INPUT_TEXT 4001
#define IDC_PWD_EDIT 3402
#define IDC_PWD_CONFIRM 3403
#define IDC_PWD_SHOW 3404
#define IDC_PWD_PROMPT 3405
#define IDC_ABOUT_PRODUCT 3350
#define IDC_ABOUT_DATE 3351
#define IDC_ABOUT_TITLE 3352
#define IDC_ABOUT_UPDATE 3353
#define IDC_VDIR_TREE 4401  // virtual-folder picker (208)
#define IDC_VDIR_CURRENT 4402
#define IDC_VDIR_NEW 4403

// ---- settings dialog (204): page 0 "菜单系统", page 1 "主题" ---------------------------
#define IDC_SET_TABS 3310
#define IDC_SET_THEME 3303
#define IDC_SET_DRAG_FOLDER 3304
#define IDC_SET_BROWSE 3305
#define IDC_SET_THEME_LABEL 3327
#define IDC_SET_DRAG_LABEL 3328
#define IDC_SET_UPPER_REZ 3329
#define IDC_SET_UPPER_ZIP 3330
#define IDC_SET_UPPER_7Z 3331
#define IDC_SET_CLOSE_TO_TRAY 3339
#define IDC_SET_SHOW_LOG 3340
#define IDC_SET_CONTEXT_MENU 3313
#define IDC_SET_CONTEXT_STATE 3319
#define IDC_SET_SHELLNEW 3317
#define IDC_SET_SHELLNEW_STATE 3323
#define IDC_SET_ASSOC_GROUP 3332
#define IDC_SET_ASSOC_REZ 3333
#define IDC_SET_ASSOC_ZIP 3334
#define IDC_SET_ASSOC_7Z 3335
#define IDC_SET_ASSOC_REZ_STATE 3336
#define IDC_SET_ASSOC_ZIP_STATE 3337
#define IDC_SET_ASSOC_7Z_STATE 3338
#define IDC_SET_APPLY 3318

// ---- search window (201) ---------------------------------------------------------
#define IDC_SEARCH_TABS 4601
#define IDC_S0_KEYWORD 3001
#define IDC_S0_RESULTS 3002
#define IDC_S0_CASE 3003
#define IDC_S0_WHOLE 4602
#define IDC_S0_NAME 4603
#define IDC_S0_TYPE 4604
#define IDC_S0_ID 4605
#define IDC_S0_FIND 4606
#define IDC_S0_STATUS 4607
#define IDC_S0_LABEL 4950
#define IDC_S1_ARCHIVES 4608
#define IDC_S1_ADD 4609
#define IDC_S1_REMOVE 4610
#define IDC_S1_CLEAR 4611
#define IDC_S1_FIND 4612
#define IDC_S1_STATUS 4613
#define IDC_S1_KEYWORD 4614
#define IDC_S1_RESULTS 4615
#define IDC_S1_CASE 4905
#define IDC_S1_WHOLE 4906
#define IDC_S1_NAME 4907
#define IDC_S1_TYPE 4908
#define IDC_S1_ID 4909
#define IDC_S1_LABEL 4951
#define IDC_S1_LIST_LABEL 4952
#define IDC_S2_FOLDER 4900
#define IDC_S2_BROWSE 4901
#define IDC_S2_ARCHIVES 4902
#define IDC_S2_KEYWORD 4903
#define IDC_S2_FIND 4904
#define IDC_S2_CASE 4910
#define IDC_S2_WHOLE 4911
#define IDC_S2_NAME 4912
#define IDC_S2_TYPE 4913
#define IDC_S2_ID 4914
#define IDC_S2_STATUS 4915
#define IDC_S2_RESULTS 4916
#define IDC_S2_PROGRESS 4917
#define IDC_S2_FOLDER_LABEL 4953
#define IDC_S2_LIST_LABEL 4954
#define IDC_S2_LABEL 4955
#define IDM_SEARCH_LOCATE 5001
#define IDM_SEARCH_UNPACK_SELECTED 5002
#define IDM_SEARCH_UNPACK_ALL 5003
// ---- format conversion (203) ---------------------------------------------------------
#define IDC_CONV_LIST 4801
#define IDC_CONV_ADD_FILES 4802
#define IDC_CONV_ADD_FOLDER 4803
#define IDC_CONV_REMOVE 4804
#define IDC_CONV_CLEAR 4805
#define IDC_CONV_FORMAT 4806
#define IDC_CONV_OUTPUT 4807
#define IDC_CONV_BROWSE 4808
#define IDC_CONV_SAME_FOLDER 4809
#define IDC_CONV_PROGRESS 4810
#define IDC_CONV_STATE 4811
#define IDC_CONV_CURRENT 4812
#define IDC_CONV_START 4813
#define IDC_CONV_PAUSE 4814
#define IDC_CONV_RESUME 4815
#define IDC_CONV_STOP 4816

// ---- self-extract window (209) -------------------------------------------------------
#define IDC_SFXRUN_TITLE 4501
#define IDC_SFXRUN_DESCRIPTION 4502
#define IDC_SFXRUN_DEST 4503
#define IDC_SFXRUN_BROWSE 4504
#define IDC_SFXRUN_PROGRESS 4505
#define IDC_SFXRUN_LOG 4506
#define IDC_SFXRUN_STATUS 4507
#define IDC_SFXRUN_START 4508
#define IDC_SFXRUN_BAND 4510
// ---- self-extractor builder (206) and its entry picker (210) --------------------------
#define IDC_SFX_HOST 3501
#define IDC_SFX_HOST_BROWSE 3502
#define IDC_SFX_REZ 3503
#define IDC_SFX_REZ_BROWSE 3504
#define IDC_SFX_OUTPUT 3505
#define IDC_SFX_OUTPUT_BROWSE 3506
#define IDC_SFX_BUILD 3507
#define IDC_SFX_TITLE 3508
#define IDC_SFX_DESCRIPTION 3509
#define IDC_SFX_DEFAULT_PATH 3510
#define IDC_SFX_PATH_BROWSE 3511
#define IDC_SFX_SHORTCUT 3512
#define IDC_SFX_IMAGE 3520
#define IDC_SFX_IMAGE_BROWSE 3521
#define IDC_SFX_TARGET 3523
#define IDC_SFX_TARGET_PICK 3524
#define IDC_SFX_PICK_LIST 3525
#define IDC_SFX_MODE_SFX 4820
#define IDC_SFX_MODE_INSTALLER 4821
#define IDC_SFX_INTRO 4822
#define IDC_SFX_LICENSE 4823
#define IDC_SFX_README 4824
#define IDC_SFX_README_LOAD 4825
#define IDC_SFX_RUN_PROGRAM 4826
#define IDC_SFX_RUN_PICK 4827

// ---- comment and header editors ---------------------------------------------------
#define IDC_COMMENT_EDIT 3401
#define IDC_HEADER_SIGNATURE 3411
#define IDC_HEADER_TITLE 3412
#define IDC_HEADER_SIGNATURE_COUNT 3413
#define IDC_HEADER_TITLE_COUNT 3414
#define IDC_HEADER_DEFAULTS 3415

// ---- pack and extract progress (211) ------------------------------------------------
#define IDC_PACK_NAME 4701
#define IDC_PACK_CURRENT 4702
#define IDC_PACK_COUNT 4703
#define IDC_PACK_REMAINING 4704
#define IDC_PACK_RATE 4705
#define IDC_PACK_TIME_LEFT 4706
#define IDC_PACK_PROGRESS 4707
#define IDC_PACK_LOG 4708
#define IDC_PACK_MINIMIZE 4709
#define IDC_PACK_STOP 4710
#define IDC_PACK_CLOSE 4711

// ---- pack and extract wizard (202) ------------------------------------------------------
#define IDC_WIZ_STEP1 4701
#define IDC_WIZ_STEP2 4702
#define IDC_WIZ_STEP3 4703
#define IDC_WIZ_STEP4 4704
#define IDC_WIZ_PACK 4705
#define IDC_WIZ_EXTRACT 4706
#define IDC_WIZ_NOTE 4756
#define IDC_WIZ_STEP_LABEL 4750
#define IDC_WIZ_SOURCES 4707
#define IDC_WIZ_ADD_FILES 4708
#define IDC_WIZ_ADD_FOLDER 4709
#define IDC_WIZ_REMOVE 4710
#define IDC_WIZ_CLEAR 4711
#define IDC_WIZ_ARCHIVE 4712
#define IDC_WIZ_BROWSE_ARCHIVE 4713
#define IDC_WIZ_OUTPUT 3103
#define IDC_WIZ_BROWSE_OUTPUT 3104
#define IDC_WIZ_DESCRIPTION_LABEL 4753
#define IDC_WIZ_DESCRIPTION 3105
#define IDC_WIZ_COPYRIGHT_LABEL 4754
#define IDC_WIZ_COPYRIGHT 3107
#define IDC_WIZ_COMMENT_LABEL 4755
#define IDC_WIZ_COMMENT 3106
#define IDC_WIZ_FORMAT_LABEL 4722
#define IDC_WIZ_FORMAT 4721
#define IDC_WIZ_DESTINATION 4714
#define IDC_WIZ_BROWSE_DESTINATION 4715
#define IDC_WIZ_NAME 4757
#define IDC_WIZ_CURRENT 4758
#define IDC_WIZ_COUNT 4759
#define IDC_WIZ_REMAINING 4760
#define IDC_WIZ_RATE 4761
#define IDC_WIZ_TIME_LEFT 4762
#define IDC_WIZ_PROGRESS 4716
#define IDC_WIZ_LOG 4717
#define IDC_WIZ_SPACER 4752
#define IDC_WIZ_BACK 4718
#define IDC_WIZ_START 4720
#define IDC_WIZ_NEXT 4719

// ---- main window controls -------------------------------------------------------
#define IDC_TREE 1001
#define IDC_LIST 1002
#define IDC_LOG 1003
#define IDC_PATH_COMBO 1004
#define IDC_STATUS 1005
#define IDC_TOOLBAR 4101
#define IDC_PROGRESS_TEXT 4200
#define IDC_BUTTON_HOST 4201
#define IDC_SIDE_PANEL 4202
#define IDC_PREVIEW_TABS 4203
#define IDC_COMMENT_BOX 4204
#define IDC_PREVIEW_TABLE 4205
#define IDC_PROGRESS_BAR 4206
#define IDC_PREVIEW_EDIT 4207
#define IDC_PREVIEW_IMAGE 4208
#define IDC_SPLITTER 4210

// ---- commands ---------------------------------------------------------------------
#define IDM_OPEN 2001
#define IDM_SAVE 2002
#define IDM_NEW_ARCHIVE 2004
#define IDM_EXIT 2005
#define IDM_EXTRACT_ALL 2010
#define IDM_EXTRACT_SELECTED 2011
#define IDM_ADD_FILES 2012
#define IDM_ADD_FOLDER 2013
#define IDM_REPLACE_CONTENT 2014
#define IDM_REMOVE 2015
#define IDM_RENAME 2016
#define IDM_FIND 2020
#define IDM_WIZARD 2021
#define IDM_CONVERT 2022
#define IDM_SFX 2023
#define IDM_PACK_ONE 2024
#define IDM_SETTINGS 2030
#define IDM_COMMENT 2031
#define IDM_ARCHIVE_INFO 2032
#define IDM_ENTRY_DETAILS 2033
#define IDM_VIEW_TREE 2040
#define IDM_VIEW_LIST 2041
#define IDM_LARGE_ICONS 2042
#define IDM_DETAILS 2043
#define IDM_UP 2044
#define IDM_REFRESH 2045
#define IDM_DESKTOP 2046
#define IDM_SIDE_PANEL 2047
#define IDM_MOVE_TO 2048
#define IDM_COPY_TO 2049
#define IDM_HIDE_TO_TRAY 2050
#define IDM_ABOUT 2051
#define IDM_TRAY_EXIT 2053
#define IDM_LOCAL_OPEN 2055
#define IDM_LOCAL_NOTEPAD 2056
#define IDM_SELECT_ALL 2057
#define IDM_LOCAL_DELETE 2058
#define IDM_LOCAL_RENAME 2059
#define IDM_NEW_FOLDER 2060
#define IDM_LOCAL_COPY 2061
#define IDM_LOCAL_PASTE 2062
#define IDM_SEND_DESKTOP 2063
#define IDM_SEND_DOCUMENTS 2064
#define IDM_SEND_OTHER 2065
#define IDM_SHOW_IN_EXPLORER 2066
#define IDM_PAUSE 2067
#define IDM_RESUME 2068
#define IDM_STOP 2069
#define IDM_CLEAR_LOG 2070
#define IDM_GO_PATH 2072
#define IDM_DECODE_PREVIEW 2073
#define IDM_TRAY_SHOW 2074
#define IDM_REPLACE_FILES 2077
#define IDM_TEST 2080
#define IDM_VIEW_DEFAULT 2081
#define IDM_SET_PASSWORD 2084
