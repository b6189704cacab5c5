# libyaml and utf8proc from the system, through pkg-config: the build from
# source. Defines the targets brintel_yaml and brintel_utf8proc. A missing
# library stops the build with the package that brings it.
include_guard()

find_package(PkgConfig QUIET)
if(NOT PKG_CONFIG_FOUND)
  message(FATAL_ERROR "brintel_config finds its libraries with pkg-config, which is not installed.\n"
    "  Debian, Ubuntu:       sudo apt-get install pkg-config\n"
    "  RHEL, Fedora, Rocky:  sudo dnf install pkgconf-pkg-config\n")
endif()

# brintel_system_library(TARGET MODULE WHAT DEBIAN-PACKAGE RPM-PACKAGE RPM-NOTE)
function(brintel_system_library target module what debian rpm rpm_note)
  pkg_check_modules(${target} QUIET IMPORTED_TARGET GLOBAL ${module})
  if(NOT ${target}_FOUND)
    message(FATAL_ERROR "brintel_config needs the development files of ${what} "
      "(pkg-config module ${module}), which were not found.\n"
      "  Debian, Ubuntu:       sudo apt-get install ${debian}\n"
      "  RHEL, Fedora, Rocky:  sudo dnf install ${rpm}    (${rpm_note})\n"
      "Or install the binary wheel, which needs neither.\n")
  endif()
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE PkgConfig::${target})
endfunction()

brintel_system_library(brintel_yaml yaml-0.1 libyaml libyaml-dev libyaml-devel
  "on RHEL and its rebuilds from the CRB repository")
brintel_system_library(brintel_utf8proc libutf8proc utf8proc libutf8proc-dev utf8proc-devel
  "on RHEL and its rebuilds from EPEL")
