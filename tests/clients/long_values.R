# R's RODBC on a block whose transaction input is 2 KiB: the input comes back whole (as.is keeps
# hex text as text), and with typed_values numbers and times come back as numbers and times.
# Argument: the summary JSON of seed_long_values.py.
library(RODBC)
args <- commandArgs(trailingOnly = TRUE)
seed <- readLines(args[1], warn = FALSE)
field <- function(name) sub(paste0('.*"', name, '": "?([^",}]*)"?.*'), "\\1", seed)
failed <- FALSE
check <- function(name, ok, detail = "") {
  cat(if (ok) "ok   " else "FAIL ", "RODBC ", name, if (ok) "" else paste(": ", detail), "\n",
      sep = "")
  if (!ok) failed <<- TRUE
}
block <- field("block")
sql <- paste0("SELECT transactionsHash, transactionsInput FROM getBlockByNumber_transactions ",
              "WHERE blockNumber = '", block, "' AND transactionDetailsFlag = '1'")
plain <- odbcConnect("quill_long")
rows <- sqlQuery(plain, sql, as.is = TRUE)
check("whole input", is.data.frame(rows) && rows$transactionsInput[1] == field("input"),
      if (is.data.frame(rows)) nchar(rows$transactionsInput[1]) else rows)
typed <- odbcConnect("quill_typed")
rows <- sqlQuery(typed, paste0("SELECT number, gasUsed, timestamp, hash FROM getBlockByNumber ",
                               "WHERE blockNumber = '", block, "' AND transactionDetailsFlag = '0'"))
check("typed numbers", is.data.frame(rows) && is.numeric(rows$number) &&
        rows$gasUsed[1] == as.numeric(field("gasUsed")),
      if (is.data.frame(rows)) paste(sapply(rows, class), collapse = " ") else rows)
check("typed time", is.data.frame(rows) && inherits(rows$timestamp, "POSIXct") &&
        as.numeric(rows$timestamp[1]) == as.numeric(field("timestamp")),
      if (is.data.frame(rows)) format(rows$timestamp[1]) else rows)
odbcCloseAll()
quit(status = if (failed) 1 else 0)
