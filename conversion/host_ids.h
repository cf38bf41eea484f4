// Dispatch ids of the host's members that the conversion uses, by object.
// Ids whose meaning only the host knows (the feature defaults) stay numbers
// where they are used.
#pragma once

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
}  // namespace feature_data

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
