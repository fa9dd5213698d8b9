stale
