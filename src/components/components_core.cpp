// Anchor of the Qt-free component library; the components add their own sources.
