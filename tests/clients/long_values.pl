#!/usr/bin/perl
# Perl DBI with its default attributes (LongReadLen 80, LongTruncOk off) reads a block whose
# transaction input and log data are 2 KiB: every row comes back whole, no 01004.
# Argument: the summary JSON of seed_long_values.py.
use strict;
use warnings;
use DBI;
use JSON::PP;

my $seed = decode_json(do { local (@ARGV, $/) = $ARGV[0]; <> });
my $failed = 0;
sub check {
  my ($name, $ok, $detail) = @_;
  print(($ok ? "ok   " : "FAIL ") . "DBI $name" . ($ok ? "" : ": $detail") . "\n");
  $failed = 1 unless $ok;
}

my $dbh = DBI->connect("dbi:ODBC:quill_long", "", "", {RaiseError => 0, PrintError => 0});
check("connect", $dbh, $DBI::errstr // "") or exit 1;
my $block = $seed->{block};
my @cases = (
  ["transactions", "SELECT transactionsHash, transactionsInput FROM getBlockByNumber_transactions "
     . "WHERE blockNumber = '$block' AND transactionDetailsFlag = '1'"],
  ["receipt logs", "SELECT logsTransactionHash, logsData FROM getBlockReceipts_logs "
     . "WHERE blockNumber = '$block'"],
  ["transaction by hash", "SELECT hash, input FROM getTransactionByHash "
     . "WHERE transactionHash = '$seed->{transaction}'"],
);
for my $case (@cases) {
  my ($name, $sql) = @$case;
  my $rows = $dbh->selectall_arrayref($sql);
  my $error = $dbh->errstr // "";
  check("$name fetched", $rows && !$error, $error) or next;
  my @mine = grep { $_->[0] eq $seed->{transaction} } @$rows;
  check("$name whole", @mine == 1 && $mine[0][1] eq $seed->{input},
        @mine ? "length " . length($mine[0][1]) : "no row");
}
# The block's header row: the bloom and the other texts fit their declared sizes.
my $header = $dbh->selectall_arrayref("SELECT number, logsBloom, extraData FROM getBlockByNumber "
  . "WHERE blockNumber = '$block' AND transactionDetailsFlag = '0'");
check("block header", $header && @$header == 1 && length($header->[0][1]) == 514,
      $dbh->errstr // "no row");
$dbh->disconnect;
exit $failed;
