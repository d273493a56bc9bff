// Display arithmetic of the tuner window; filled in with the window.
