// String ids of the core's failure reasons in the programs with windows; the texts are in
// CoreMessages.rc, which each program's .rc includes. Only #define lines: rc reads this.
#pragma once

#define IDS_CORE_IMAGE_OPEN_FAILED 200     // CoreMessage::ImageOpenFailed, %s image
#define IDS_CORE_IMAGE_DAMAGED 201         // CoreMessage::ImageDamaged, %s image
#define IDS_CORE_NOT_AN_IMAGE 202          // CoreMessage::NotAnImage, %s file
#define IDS_CORE_NO_TEMP_FOLDER 203        // CoreMessage::NoTempFolder
#define IDS_CORE_TABLE_COPY_FAILED 204     // CoreMessage::TableCopyFailed, %s temporary file
#define IDS_CORE_ENTRY_UNSAFE_PATH 205     // CoreMessage::EntryUnsafePath, %s stored path
#define IDS_CORE_ENTRY_DEVICE_NAME 206     // CoreMessage::EntryDeviceName, %s stored path
#define IDS_CORE_ENTRY_TOO_LONG 207        // CoreMessage::EntryTooLong, %s stored path
#define IDS_CORE_ENTRY_THROUGH_LINK 208    // CoreMessage::EntryThroughLink, %s target
#define IDS_CORE_ENTRY_DATA_DAMAGED 209    // CoreMessage::EntryDataDamaged, %s target
#define IDS_CORE_TARGET_NOT_A_FILE 210     // CoreMessage::TargetNotAFile, %s target
#define IDS_CORE_TARGET_CREATE_FAILED 211  // CoreMessage::TargetCreateFailed, %s target
#define IDS_CORE_TARGET_WRITE_FAILED 212   // CoreMessage::TargetWriteFailed, %s target
