// Replaced by the stand-ins as they arrive.
