// SPDX-License-Identifier: GPL-3.0-or-later
// Built only by the internal_headers_* tests, which expect it to fail: a user of a library
// cannot include the headers under that library's internal/ folder.
#include PROBED_HEADER
