// Every subcommand, in the order the help lists them: one line each, naming
// the function its cmd_NAME.cpp defines. Included by commands.cpp only.
PICTRA_COMMAND(makeFormatsCommand)
PICTRA_COMMAND(makeInfoCommand)
PICTRA_COMMAND(makeExtractCommand)
PICTRA_COMMAND(makeConvertCommand)
PICTRA_COMMAND(makeCreateCommand)
PICTRA_COMMAND(makeSheetCommand)
PICTRA_COMMAND(makeSetCommand)
