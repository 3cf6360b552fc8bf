// Anchor of the window component library; the components add their own sources.
