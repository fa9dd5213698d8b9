// The commands that move the selected lines one level deeper or shallower: each runs the
// server's code action of its kind. No editor in here, so Node tests can read it.
'use strict';

exports.levelCommands = {
  'nestasm.deeper': 'refactor.rewrite.deeper',
  'nestasm.shallower': 'refactor.rewrite.shallower',
};
