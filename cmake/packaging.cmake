# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: cmake --build build --target package (needs dpkg-dev for the library
# dependencies). Installed under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vesk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VESK Controller developers")
set(CPACK_PACKAGE_CONTACT "VESK Controller developers <vesk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "radio beacon controller: paint a pattern, play it, key the transmitter")
set(CPACK_PACKAGE_DESCRIPTION
  "VESK Controller turns a PC into a low-power radio beacon controller. You paint\n\
a beacon pattern on a grid of 601 time slots, 16 tone rows and five levels; the\n\
program renders it to sound, plays it through the sound card once every repeat\n\
interval and keys the transmitter through the DTR and RTS lines of a serial\n\
port, or by CAT command through Hamlib, while the pattern sounds.\n\
.\n\
It makes slow-CW (QRSS), FSK-CW, DFCW and WSPR patterns from a callsign or a\n\
message, transmits on the UTC clock, exports WAV files and previews a pattern\n\
as a grabber shows it. vesk-cli runs the same engine without a window, for an\n\
unattended beacon under systemd.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/vesk-controller/vesk")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beside the libraries found by dpkg-shlibdeps: Qt's platform plugins (the window system
# connection) are loaded at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The sound server's ALSA plugin, for sound through PulseAudio or PipeWire.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libasound2-plugins")
# For the desktop's Mixer and Audio Devices tools, and CAT keying through a running rigctld.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pavucontrol, libhamlib-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
