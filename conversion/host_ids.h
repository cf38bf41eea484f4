// Dispatch ids of the host's members that the conversion uses, by object,
// and the codes it hands to them. What the host makes of a setting or a code
// is its own business; the names say what the program sends there.
#pragma once

#include <cstdint>

#include "host/call_log.h"
#include "host/value.h"

namespace traskel::ids {

using host::DispId;

namespace application {
inline constexpr DispId kMeasurementProgram = 2;  // get: the open program, or Nothing
inline constexpr DispId kStatusText = 9;          // put: the status line
}  // namespace application

namespace program {
inline constexpr DispId kCommands = 11;  // get: the command list, or Nothing
}  // namespace program

namespace commands {
inline constexpr DispId kSelect = 5;    // call (command) -> Boolean
inline constexpr DispId kAdd = 8;       // call (type code by reference, Boolean): a new command
inline constexpr DispId kCurrent = 12;  // get: the current command
}  // namespace commands

namespace command {
inline constexpr DispId kDefault = 0;         // put Boolean
inline constexpr DispId kLabel = 3;           // put String
inline constexpr DispId kFeaturePart = 9;     // get: FeatureData
inline constexpr DispId kSetText = 28;        // call (text, code, 0)
inline constexpr DispId kCommentPart = 53;    // get: the comment part
inline constexpr DispId kCommentFormat = 93;  // call (1, 165, 0)
}  // namespace command

// The codes kSetText takes with its text.
namespace text_code {
inline constexpr std::int32_t kNo = 43;        // with the fixed text "NO"
inline constexpr std::int32_t kHalfSize = 78;  // with half the size field, as text
}  // namespace text_code

namespace point_data {
inline constexpr DispId kValue = 1;     // put Double
inline constexpr DispId kPosition = 7;  // call (X, Y, Z)
inline constexpr DispId kVector = 8;    // call (I, J, K)
}  // namespace point_data

namespace feature_data {
inline constexpr DispId kSize = 6;         // put Integer or Double
inline constexpr DispId kInner = 9;        // put Boolean
inline constexpr DispId kSlotOption = 48;  // put Integer or Double
inline constexpr DispId kStorePoint = 60;  // call (point data by reference, slot code, ...)
// Settings a new feature gets fixed values for; an edge point sets four of
// them again.
inline constexpr DispId kSetting4 = 4, kSetting5 = 5, kSetting7 = 7, kSetting8 = 8;
inline constexpr DispId kSetting12 = 12, kSetting18 = 18, kSetting19 = 19;
inline constexpr DispId kSetting81 = 81, kSetting83 = 83;
}  // namespace feature_data

// Slot codes kStorePoint takes: which part of the feature the point data
// fills, named by the record fields it carries there.
namespace slot {
inline constexpr std::int32_t kPosition = 0;             // X, Y, Z
inline constexpr std::int32_t kVector = 1;               // I, J, K
inline constexpr std::int32_t kFirstSize = 6;            // size 1
inline constexpr std::int32_t kSlotSecondSize = 14;      // size 2 of a slot
inline constexpr std::int32_t kEllipseSecondSize = 15;   // size 2 of an ellipse
inline constexpr std::int32_t kEdgePointVector = 19;     // I2, J2, K2 of an edge point
inline constexpr std::int32_t kCylinderSecondSize = 40;  // size 2 of a cylinder
inline constexpr std::int32_t kEllipseFirstSize = 2001;  // size 1 of an ellipse
inline constexpr std::int32_t kSecondVector = 2002;      // I2, J2, K2 of a slot or an ellipse
}  // namespace slot

namespace comment_data {
inline constexpr DispId kKind = 1;     // put Long
inline constexpr DispId kSetLine = 6;  // call (line number, text by reference)
}  // namespace comment_data

// The host's objects by the role they have for the program, as the host's
// trace names them and the call log does.
inline constexpr host::ObjectRoles::Created kCreatedRoles[] = {
    {"Quorvex.Application", "Application"},
    {"Quorvex.PointData", "PointData"},
};
inline constexpr host::ObjectRoles::Result kResultRoles[] = {
    {"Application", application::kMeasurementProgram, "MeasurementProgram"},
    {"MeasurementProgram", program::kCommands, "CMDS"},
    {"CMDS", commands::kCurrent, "Cmd"},
    {"CMDS", commands::kAdd, "Cmd"},
    {"Cmd", command::kFeaturePart, "FeatureData"},
    {"Cmd", command::kCommentPart, "CommentData"},
};
inline constexpr host::ObjectRoles kRoles{kCreatedRoles, kResultRoles};

}  // namespace traskel::ids
