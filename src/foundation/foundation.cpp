// Anchor of the foundation's window library; its components add their own sources.
