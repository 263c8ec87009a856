#!/usr/bin/perl
# Perl DBI with DBD::ODBC on a seeded local node: a block, its transactions and
# a receipt's logs through the driver equal the node's own JSON answers.
# Arguments: the chain summary JSON file of seed_chain.py (DSN "quill_chain"
# comes from the environment's ODBCINI).
use strict;
use warnings;
use DBI;
use JSON::PP;
use HTTP::Tiny;

my $summary = do { local $/; open my $f, '<', $ARGV[0] or die $!; decode_json(<$f>) };
my $failures = 0;

sub check {
  my ($name, $ok, $detail) = @_;
  print(($ok ? "ok   " : "FAIL ") . "perl DBI $name" . ($ok ? "" : ": $detail") . "\n");
  $failures++ unless $ok;
}

sub node {
  my ($method, $params) = @_;
  my $body = encode_json({jsonrpc => "2.0", id => 1, method => $method, params => $params});
  my $reply = HTTP::Tiny->new->post($summary->{url},
    {headers => {'Content-Type' => 'application/json'}, content => $body});
  return decode_json($reply->{content})->{result};
}

my $number = $summary->{blocks}{call}{number};
my $call = $summary->{transactions}{call};
my $block = node("eth_getBlockByNumber", [$number, JSON::PP::true]);
my $receipt = node("eth_getTransactionReceipt", [$call]);

my $dbh = DBI->connect("dbi:ODBC:quill_chain", "", "", {RaiseError => 1, PrintError => 0});
my $row = $dbh->selectrow_arrayref(
  "SELECT number, hash FROM getBlockByNumber WHERE blockNumber = '$number' " .
  "AND transactionDetailsFlag = 'false'");
check("block", $row && $row->[0] eq $block->{number} && $row->[1] eq $block->{hash},
  join(",", @{$row || []}));

my $sth = $dbh->prepare(
  "SELECT transactionsHash, transactionsValue FROM getBlockByNumber_transactions " .
  "WHERE blockNumber = ? AND transactionDetailsFlag = 'true'");
$sth->execute($number);
my @got = map { "$_->[0]=$_->[1]" } @{$sth->fetchall_arrayref};
my @want = map { "$_->{hash}=$_->{value}" } @{$block->{transactions}};
check("transactions", "@got" eq "@want", "@got vs @want");

my $logs = $dbh->selectall_arrayref(
  "SELECT logsAddress, logsData FROM getTransactionReceipt_Logs WHERE transactionHash = '$call'");
my @got_logs = map { "$_->[0]:$_->[1]" } @$logs;
my @want_logs = map { "$_->{address}:$_->{data}" } @{$receipt->{logs}};
check("receipt logs", "@got_logs" eq "@want_logs", "@got_logs vs @want_logs");
# Parameters: a balance read with two markers.
my $account = $summary->{accounts}[0];
my ($balance) = $dbh->selectrow_array(
  "SELECT result FROM getBalance WHERE address = ? AND blockParameter = ?", undef,
  $account, "latest");
my $want_balance = node("eth_getBalance", [$account, "latest"]);
check("parameters", defined $balance && $balance eq $want_balance, $balance // "undef");

# The catalog: table_info lists every table, column_info a table's columns in order.
my %catalog;
my $tsv = __FILE__ =~ s{[^/]*$}{../data/eth_catalog_tables.tsv}r;
open my $t, '<', $tsv or die "$tsv: $!";
while (my $line = <$t>) {
  next if $line =~ /^#/ || $line !~ /\S/;
  chomp $line;
  my @f = split /\t/, $line;
  $catalog{$f[0]} = [map { (split /:/)[0] } split /,/, $f[5]];
}
# The node's tables are read-only and listed as views.
my $tables = $dbh->table_info('', '', '%', 'TABLE,VIEW')->fetchall_arrayref({});
my @names = sort map { $_->{TABLE_NAME} } @$tables;
check("table_info", "@names" eq join(" ", sort keys %catalog), scalar(@names) . " tables");
my $columns = $dbh->column_info(undef, undef, 'getBalance', '%')->fetchall_arrayref({});
my @column_names = map { $_->{COLUMN_NAME} } @$columns;
check("column_info", "@column_names" eq "@{$catalog{getBalance}}", "@column_names");
# Search patterns in the catalog arguments.
my @matched = map { $_->{TABLE_NAME} } @{$dbh->table_info(undef, undef, 'getBal%')->fetchall_arrayref({})};
check("table_info pattern", "@matched" eq "getBalance", "@matched");
@matched = sort map { $_->{TABLE_NAME} } @{$dbh->table_info('', '', 'feeHistory\\_%', 'VIEW')->fetchall_arrayref({})};
my @fee = sort grep { /^feeHistory_/ } keys %catalog;
check("table_info escaped pattern", "@matched" eq "@fee", "@matched");
# What a new user writes: a block range bound as SQL_INTEGER with its transactions and their
# receipts' status, receipts through IN (subquery), the balances of a block's senders.
my $latest = hex(node("eth_blockNumber", []));
my (@range_want, %status);
for my $n (1 .. $latest) {
  for my $t (@{node("eth_getBlockByNumber", [sprintf("0x%x", $n), JSON::PP::true])->{transactions}}) {
    $status{$t->{hash}} = node("eth_getTransactionReceipt", [$t->{hash}])->{status};
    push @range_want, join("|", $n, $t->{hash}, $status{$t->{hash}});
  }
}
my $range = $dbh->prepare("SELECT t.blockNumber, t.transactionsHash, r.status "
  . "FROM getBlockByNumber_transactions t JOIN getTransactionReceipt r "
  . "ON r.transactionHash = t.transactionsHash "
  . "WHERE t.blockNumber BETWEEN ? AND ? AND t.transactionDetailsFlag = 1");
$range->bind_param(1, 1, DBI::SQL_INTEGER);
$range->bind_param(2, $latest, DBI::SQL_INTEGER);
$range->execute;
my @range_got = map { join("|", @$_) } @{$range->fetchall_arrayref};
check("block range with receipts", "@range_got" eq "@range_want", "@range_got");
my $listed = $dbh->selectall_arrayref("SELECT transactionHash, status FROM getTransactionReceipt "
  . "WHERE transactionHash IN (SELECT transactionsHash FROM getBlockByNumber_transactions "
  . "WHERE blockNumber IN (SELECT result FROM blockNumber) AND transactionDetailsFlag = 0) "
  . "ORDER BY 1");
my $latest_block = node("eth_getBlockByNumber", [sprintf("0x%x", $latest), JSON::PP::false]);
my @latest_hashes = sort @{$latest_block->{transactions} // []};
my @listed = map { $_->[0] } @$listed;
my $statuses_match = !grep { $_->[1] ne $status{$_->[0]} } @$listed;
check("receipts through IN (subquery)", "@listed" eq "@latest_hashes" && $statuses_match, "@listed");
my $senders = $dbh->selectall_arrayref("SELECT DISTINCT t.transactionsFrom, b.result "
  . "FROM getBlockByNumber_transactions t, getBalance b WHERE t.blockNumber = ? "
  . "AND t.transactionDetailsFlag = 1 AND b.address = t.transactionsFrom "
  . "AND b.blockParameter = 'latest' ORDER BY 1", undef, $number);
my %from = map { $_->{from} => 1 } @{$block->{transactions}};
my @want_senders = map { "$_|" . node("eth_getBalance", [$_, "latest"]) } sort keys %from;
my @got_senders = map { join("|", @$_) } @$senders;
check("balances of a block's senders", "@got_senders" eq "@want_senders", "@got_senders");

$dbh->disconnect;
exit($failures ? 1 : 0);
