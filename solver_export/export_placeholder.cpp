// Modal-coordinate export: sources arrive with the export subsystem.
