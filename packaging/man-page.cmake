# SPDX-FileCopyrightText: 2026 Vantrel
# SPDX-License-Identifier: GPL-3.0-or-later
# Finishes a manual page that help2man made: an "Exit status:" list in the
# program's help, which help2man keeps as a subsection of OPTIONS, becomes the
# section EXIT STATUS that a manual page has; a page without that section
# (from the help or the .h2m file) is refused.
#   cmake -DPAGE=program.1 -P man-page.cmake
file(READ "${PAGE}" page)
string(REPLACE ".SS \"Exit status:\"" ".SH \"EXIT STATUS\"" page "${page}")
if(NOT page MATCHES "\n\\.SH \"EXIT STATUS\"\n")
  message(FATAL_ERROR "${PAGE} has no EXIT STATUS section")
endif()
file(WRITE "${PAGE}" "${page}")
