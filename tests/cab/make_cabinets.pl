#!/usr/bin/perl
# Writes the input files of the cabinet tests into a build folder and packs them
# with gcab: make_cabinets.pl <gcab> <out-dir>. Contents are deterministic, so a
# test can compare extracted files with these inputs byte for byte.
use strict;
use warnings;
use File::Path qw(make_path remove_tree);
use Cwd qw(getcwd);

my ($gcab, $out) = @ARGV;
die "usage: make_cabinets.pl gcab out-dir\n" unless $gcab && $out;
make_path($out);
my $time = 1614834368;   # a fixed, even-second modification time

sub content {   # a recognisable pattern of the given length
    my ($seed, $length) = @_;
    my $text = '';
    my $n = unpack("%32C*", $seed) * 7919 + length($seed);
    while (length($text) < $length) {
        $n = ($n * 1103515245 + 12345) % 2147483648;
        $text .= sprintf("%s:%08x\n", $seed, $n);
    }
    return substr($text, 0, $length);
}

sub write_file {
    my ($path, $data) = @_;
    my ($dir) = $path =~ m{^(.*)/[^/]*$};
    make_path($dir) if $dir;
    open(my $fh, '>:raw', $path) or die "$path: $!";
    print $fh $data;
    close($fh);
    utime($time, $time, $path);
}

# pack(name, zip, [member => data]...): input folder <name>/, cabinet <name>.cab
sub pack_set {
    my ($name, $zip, @members) = @_;
    my $dir = "$out/$name";
    remove_tree($dir);
    my @names;
    while (my ($member, $data) = splice(@members, 0, 2)) {
        write_file("$dir/$member", $data);
        push @names, $member;
    }
    my $here = getcwd();
    chdir($dir) or die "$dir: $!";
    my @args = ($gcab, '-c', ($zip ? ('-z') : ()), "$out/$name.cab", @names);
    system(@args) == 0 or die "gcab failed for $name\n";
    chdir($here);
}

pack_set('progress', 0, 'a100.bin' => content('a', 100), 'b200.bin' => content('b', 200), 'c700.bin' => content('c', 700));
pack_set('tiny', 1, 'one.txt' => 'x', 'two.txt' => 'y', 'six.txt' => 'abcdef');
pack_set('names', 0,
    ('n' x 44) => '', ('m' x 45) => content('m', 5), ('k' x 60) => content('k', 12345), 'readme.txt' => content('r', 1234));
pack_set('folders', 1, 'top.txt' => content('t', 300), 'sub/inner.txt' => content('i', 400),
    'sub/deeper/leaf.txt' => content('l', 500), 'other/x.bin' => content('x', 600));
pack_set('large', 1, 'big.txt' => content('big', 400000), 'after.txt' => content('after', 50));
pack_set('one', 1, 'only.txt' => content('only', 777));
# Bytes that compress little beside text: the compressor stores parts of them as they are.
sub noise {
    my ($n, $length) = @_;
    my $bytes = '';
    while (length($bytes) < $length) {
        $n = ($n * 1103515245 + 12345) % 2147483648;
        $bytes .= chr(($n >> 16) & 255);
    }
    return $bytes;
}
pack_set('noisy', 1, 'noise.bin' => noise(19, 70000), 'words.txt' => content('w', 50000));
pack_set('hundred', 1, map { (sprintf('h%03d.txt', $_) => content("h$_", 37 * $_)) } 0 .. 99);
pack_set('many', 1, map { (sprintf('m%05d.txt', $_) => content("m$_", $_ % 97)) } 0 .. 19999);
open(my $stamp, '>', "$out/cabinets.stamp") or die;
close($stamp);
