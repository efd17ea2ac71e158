#!/bin/sh
# Runs a test program in a network and mount namespace of its own, where it may start servers
# on the usual ports and give itself an /etc/hosts; without one (no root, no unshare) the
# program runs as it is and skips what needs it.
if unshare --net --mount --propagation private true 2>/dev/null; then
    DATEIMARK_OWN_NETWORK=1 exec unshare --net --mount --propagation private "$@"
fi
exec "$@"
