// The injected-frame pattern Edit2 starts with. The host is a reserved name
// (.invalid) so the default can never point at anybody's real server; the user
// types the host seen in infected pages before scanning.
#pragma once

#define VX_DEFAULT_PATTERN "<iframe src=http://example.invalid/worm.htm width=0 height=0></iframe>"
