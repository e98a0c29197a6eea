// The product's fixed identity, shared by the banner and the global macros.
#pragma once

namespace product {
inline constexpr const char *kShortName = "Varnix Lodestar";
inline constexpr const char *kFullName = "Varnix Lodestar for RISC-V";
inline constexpr const char *kMaker = "Varnix";
inline constexpr int kMajorVersion = 4;
/// Two characters, or three when a patch letter follows ("22a").
inline constexpr const char *kMinorVersion = "22";
inline constexpr const char *kTargetPlatform = "RISCV";
inline constexpr int kTargetId = 20;
inline constexpr const char *kProbeDirectory = "/opt/varnix/probe";
inline constexpr const char *kProbeSoftwareName = "Varnix Probe software";
} // namespace product
